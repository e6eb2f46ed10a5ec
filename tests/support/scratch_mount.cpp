#include "support/scratch_mount.h"

#include <QProcess>
#include <QStandardPaths>

namespace pelk::test {
namespace {

bool run(const QStringList& arguments)
{
    const QString mount = QStandardPaths::findExecutable(arguments.first());
    if (mount.isEmpty())
        return false;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(mount, arguments.mid(1));
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

}  // namespace

ScratchMount::ScratchMount(const QString& folder, const QString& size) : folder_(folder)
{
    mounted_ = run({"mount", "-t", "tmpfs", "-o", "size=" + size, "pelk-scratch", folder_});
}

ScratchMount::~ScratchMount()
{
    if (mounted_)
        run({"umount", folder_});
}

bool ScratchMount::makeReadOnly() { return mounted_ && run({"mount", "-o", "remount,ro", folder_}); }

ReadOnlyBind::ReadOnlyBind(const QString& folder) : folder_(folder)
{
    // A bind mount takes its own flags only from a remount.
    mounted_ = run({"mount", "--bind", folder_, folder_});
    readOnly_ = mounted_ && run({"mount", "-o", "remount,ro,bind", folder_});
}

ReadOnlyBind::~ReadOnlyBind()
{
    if (mounted_)
        run({"umount", folder_});
}

}  // namespace pelk::test
