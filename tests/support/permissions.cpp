#include "support/permissions.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace pelk::test {

int modeOf(const QString& path)
{
    struct stat info { };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

bool setMode(const QString& path, int mode) { return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0; }

bool runningAsRoot() { return ::geteuid() == 0; }

QString runAsNobody(const QStringList& cases)
{
    constexpr uid_t nobody = 65534;
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        return QStringLiteral("setpriv (util-linux) is missing: cannot run as nobody");
    // /tmp, not TMPDIR: nobody must be able to reach it.
    QTemporaryDir home(QStringLiteral("/tmp/pelk-nobody-XXXXXX"));
    const QString program = QCoreApplication::applicationFilePath();
    const QString copy = home.filePath(QFileInfo(program).fileName());
    if (!home.isValid() || !QFile::copy(program, copy) || !setMode(copy, 0755) || !setMode(home.path(), 0755)
        || ::chown(QFile::encodeName(home.path()).constData(), nobody, nobody) != 0)
        return QStringLiteral("cannot set up a folder for nobody in /tmp");

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("TMPDIR"), home.path());
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(home.path());
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(setpriv,
                QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                            QStringLiteral("--clear-groups"), copy}
                    + cases);
    if (!child.waitForFinished(240000)) {
        child.kill();
        child.waitForFinished();
        return QStringLiteral("the run as nobody did not finish");
    }
    const QString output = QString::fromLocal8Bit(child.readAll());
    // initTestCase and cleanupTestCase pass as well.
    const QRegularExpressionMatch totals =
        QRegularExpression(QStringLiteral("Totals: (\\d+) passed, 0 failed, 0 skipped")).match(output);
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 || !totals.hasMatch()
        || totals.captured(1).toInt() != cases.size() + 2)
        return QStringLiteral("as nobody:\n") + output;
    return QString();
}

}  // namespace pelk::test
