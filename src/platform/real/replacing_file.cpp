#include "platform/real/replacing_file.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace pelk {
namespace {

constexpr QFileDevice::Permissions modeBits = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
    | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
    | QFileDevice::WriteOther | QFileDevice::ExeOther;

QString shortUniqueName()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString name = QStringLiteral(".pelk17-");
    for (int i = 0; i < 8; ++i)
        name += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))]);
    return name + QStringLiteral(".tmp");
}

QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

bool markedReadOnly(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !(info.permissions() & QFileDevice::WriteOwner);
}

// Why the target may not be replaced, or nothing when it may.
std::optional<QString> refusal(const QString& target)
{
    const QFileInfo info(target);
    if (info.isDir())
        return QStringLiteral("the target is a folder");
    if (markedReadOnly(target))
        return QStringLiteral("the file is marked read-only");
    if (markedReadOnly(info.absolutePath()))
        return QStringLiteral("the folder is marked read-only");
    return std::nullopt;
}

// The old file's own mode bits, without the "User" flags, which say what this process
// may do rather than what the file allows.
std::optional<QFileDevice::Permissions> oldBits(const QString& target)
{
    const QFileInfo info(target);
    if (!info.exists())
        return std::nullopt;
    return info.permissions() & modeBits;
}

bool syncFile(QFile& file)
{
#ifdef Q_OS_UNIX
    int result = 0;
    do {
        result = ::fsync(file.handle());
    } while (result != 0 && errno == EINTR);
    return result == 0;
#else
    Q_UNUSED(file);
    return true;  // nothing to sync through here: the rename is as safe as the system makes it
#endif
}

// The rename lives in the folder's entries: without this a power cut may bring back the
// old file, or none. A folder that cannot be opened for reading (one the user may only
// write to), or a file system that cannot sync folders (EINVAL), gives no way to do it
// and is left to the system; any other refusal is an I/O error, and reported.
bool syncFolder(const QString& folder)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true;
    int result = 0;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    const bool synced = result == 0 || errno == EINVAL || errno == ENOTSUP;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
#else
    Q_UNUSED(folder);
    return true;
#endif
}

}  // namespace

ReplacingFile::ReplacingFile(const QString& target) : target_(target)
{
    // Writing through a link replaces the file it points to, not the link.
    const QFileInfo info(target);
    if (info.isSymLink())
        target_ = info.symLinkTarget();
}

ReplacingFile::~ReplacingFile()
{
    if (!committed_)
        discard();
}

bool ReplacingFile::open()
{
    if (const std::optional<QString> why = refusal(target_)) {
        error_ = *why;
        return false;
    }
    // Over an older file the new one starts owner-only and gets that file's bits at
    // commit(); a new file gets what any new file gets (0666 less the umask).
    const bool replacing = QFileInfo::exists(target_);
    const QDir folder = QFileInfo(target_).absoluteDir();
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary_.setFileName(folder.filePath(shortUniqueName()));
        // NewOnly never opens a file someone else made.
        constexpr QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::NewOnly;
        if (replacing ? temporary_.open(mode, QFileDevice::ReadOwner | QFileDevice::WriteOwner) : temporary_.open(mode))
            return true;
        if (!temporary_.exists())
            break;  // not a clash of names: the folder cannot be written
    }
    error_ = temporary_.errorString();
    temporary_.setFileName(QString());
    return false;
}

bool ReplacingFile::commit()
{
    if (!temporary_.isOpen())
        return false;
    if (!temporary_.flush())
        return fail(temporary_.errorString());
    // Looked at again: the old file may have been made read-only since open().
    if (const std::optional<QString> why = refusal(target_))
        return fail(*why);
    // Where the file system cannot take the bits (some network and FUSE ones), the file
    // keeps those it was made with: never wider than the old file's.
    if (const std::optional<QFileDevice::Permissions> bits = oldBits(target_))
        temporary_.setPermissions(*bits);
    if (!syncFile(temporary_))
        return fail(systemError());
    temporary_.close();  // clears an error of setPermissions when the close went well
    if (temporary_.error() != QFileDevice::NoError)
        return fail(temporary_.errorString());
    // rename() replaces the target in one step: it is either the old file or the new one.
    if (std::rename(QFile::encodeName(temporary_.fileName()).constData(), QFile::encodeName(target_).constData()) != 0)
        return fail(systemError());
    committed_ = true;
    if (!syncFolder(QFileInfo(target_).absolutePath())) {
        error_ = systemError();
        return false;
    }
    return true;
}

bool ReplacingFile::fail(const QString& error)
{
    error_ = error;
    discard();
    return false;
}

void ReplacingFile::discard()
{
    if (temporary_.fileName().isEmpty())
        return;
    temporary_.close();
    temporary_.remove();
    temporary_.setFileName(QString());
}

}  // namespace pelk
