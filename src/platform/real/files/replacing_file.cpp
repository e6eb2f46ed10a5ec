#include "platform/real/files/replacing_file.h"

#include "platform/real/files/path_walk.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace pelk {
namespace {

QByteArray shortUniqueName()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = ".pelk17-";
    for (int i = 0; i < 8; ++i)
        name += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    return name + ".tmp";
}

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

FailureKind kindOfError(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return FailureKind::NoPermission;
    case ENOSPC:
    case EDQUOT:
        return FailureKind::DiskFull;
    case EISDIR:
        return FailureKind::NotAFile;
    default:
        return FailureKind::WriteFailed;
    }
}

bool retryEintr(int result) { return result != 0 && errno == EINTR; }

// Why the file may not be replaced, as the system would decide for this user; 0 when it
// may. `old` is filled when there is a file.
int refusal(int folder, const QByteArray& name, struct stat& old, bool& exists, FailureKind& why)
{
    struct stat folderStat { };
    if (::fstat(folder, &folderStat) != 0)
        return errno;
    exists = ::fstatat(folder, name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT)
        return errno;
    why = FailureKind::NotAFile;
    if (exists && !S_ISREG(old.st_mode))
        return S_ISDIR(old.st_mode) ? EISDIR : EINVAL;  // a link put there since the walk is no regular file
    why = FailureKind::NoPermission;
    if (::geteuid() == 0) {
        // Root may write anything: the owner's write bit is what says "leave it".
        if (!(folderStat.st_mode & S_IWUSR) || (exists && !(old.st_mode & S_IWUSR)))
            return EACCES;
        return 0;
    }
    if (::faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) != 0)
        return errno;
    if (exists && ::faccessat(folder, name.constData(), W_OK, AT_EACCESS) != 0)
        return errno;
    why = FailureKind::ForeignFile;
    if (exists && old.st_uid != ::geteuid())
        return EPERM;  // writable, but the new file could not be given to its owner
    return 0;
}

}  // namespace

ReplacingFile::ReplacingFile(const QString& target) : target_(target) { }

ReplacingFile::~ReplacingFile()
{
    if (!committed_)
        discard();
    if (folder_ >= 0)
        ::close(folder_);
}

MaybeProblem ReplacingFile::open()
{
    const Walk w = walkPath(QFile::encodeName(target_));
    if (w.error != 0)
        return fail(w.problem == FailureKind::WriteFailed ? kindOfError(w.error) : w.problem, systemError(w.error));
    folder_ = openWalkedFolder(w);
    if (folder_ < 0)
        return failFromErrno();
    name_ = w.name;
    struct stat old { };
    bool replacing = false;
    FailureKind why = FailureKind::WriteFailed;
    if (const int error = refusal(folder_, name_, old, replacing, why))
        return fail(why, systemError(error));
    return create(w.folder, replacing);
}

// Over an older file the new one starts owner-only and gets that file's owner and bits
// at commit(); a new file gets what any new file gets (0666 less the umask).
MaybeProblem ReplacingFile::create(const QByteArray& folderPath, bool replacing)
{
    const QString folder = folderPath.isEmpty() ? QStringLiteral("") : QFile::decodeName(folderPath);
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporaryName_ = shortUniqueName();
        // O_EXCL never opens a file someone else made.
        const int fd = ::openat(folder_, temporaryName_.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, replacing ? 0600 : 0666);
        if (fd >= 0) {
            temporary_.setFileName(folder + u'/' + QFile::decodeName(temporaryName_));
            if (temporary_.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
                return std::nullopt;
            ::close(fd);
            return fail(FailureKind::WriteFailed, temporary_.errorString());
        }
        if (errno != EEXIST)
            break;
    }
    const int error = errno;
    temporaryName_.clear();
    return fail(kindOfError(error), systemError(error));
}

// The older file's owner and bits, given to the new one before it takes its place.
MaybeProblem ReplacingFile::handOver(int fd, const struct stat& old)
{
    // Owner first: a change of owner clears the set-id bits the mode then sets again.
    struct stat made { };
    if (::fstat(fd, &made) != 0)
        return failFromErrno();
    if ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        return fail(FailureKind::ForeignFile, systemError(errno));
    // Where the file system cannot take the bits (some network and FUSE ones), the file
    // keeps those it was made with: never wider than the old file's.
    ::fchmod(fd, old.st_mode & 07777);
    return std::nullopt;
}

MaybeProblem ReplacingFile::commit()
{
    if (!temporary_.isOpen())
        return logged(Problem{FailureKind::WriteFailed, QStringLiteral("not open")}, target_);
    if (!temporary_.flush())
        return fail(writeProblem().kind, temporary_.errorString());
    // Looked at again: the old file may have been made read-only, or replaced, since open().
    struct stat old { };
    bool replacing = false;
    FailureKind why = FailureKind::WriteFailed;
    if (const int error = refusal(folder_, name_, old, replacing, why))
        return fail(why, systemError(error));
    const int fd = temporary_.handle();
    if (replacing) {
        if (MaybeProblem problem = handOver(fd, old))
            return problem;
    }
    int result = 0;
    do {
        result = ::fsync(fd);
    } while (retryEintr(result));
    if (result != 0)
        return fail(writeProblem().kind, systemError(errno));
    temporary_.close();
    if (temporary_.error() != QFileDevice::NoError)
        return fail(writeProblem().kind, temporary_.errorString());
    // renameat() replaces the name in the folder in one step, never what a link names.
    if (::renameat(folder_, temporaryName_.constData(), folder_, name_.constData()) != 0)
        return failFromErrno();
    committed_ = true;
    return syncFolder();
}

// The rename lives in the folder's entries: without this a power cut may bring back the
// old file, or none. A folder that cannot be opened for reading (one the user may only
// write to), or a file system that cannot sync folders (EINVAL), gives no way to do it and
// is left to the system; any other refusal is an I/O error.
MaybeProblem ReplacingFile::syncFolder() const
{
    const int folder = ::openat(folder_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return std::nullopt;
    int result = 0;
    do {
        result = ::fsync(folder);
    } while (retryEintr(result));
    const int error = errno;
    ::close(folder);
    if (result != 0 && error != EINVAL && error != ENOTSUP)
        return logged(Problem{kindOfError(error), systemError(error)},
                      target_ + QStringLiteral(" (its folder's sync)"));
    return std::nullopt;
}

bool ReplacingFile::writeAll(QByteArrayView bytes)
{
    constexpr qsizetype piece = 8 << 20;
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        const qsizetype size = std::min(piece, bytes.size() - at);
        const qint64 offset = temporary_.pos();
        if (temporary_.write(bytes.data() + at, size) != size || !temporary_.flush())
            return false;
#ifdef Q_OS_LINUX
        // Only a hint: the sync at commit() is what makes the file durable.
        ::sync_file_range(temporary_.handle(), offset, size, SYNC_FILE_RANGE_WRITE);
#endif
    }
    return true;
}

Problem ReplacingFile::writeProblem() const
{
    const QString words = temporary_.errorString();
    if (temporary_.error() == QFileDevice::ResourceError || errno == ENOSPC || errno == EDQUOT)
        return {FailureKind::DiskFull, words};
    // Qt may have called on after the failing write: the disk itself still says it.
    struct statvfs disk { };
    if (temporary_.isOpen() && ::fstatvfs(temporary_.handle(), &disk) == 0 && disk.f_bavail == 0)
        return {FailureKind::DiskFull, words};
    return {FailureKind::WriteFailed, words};
}

QString ReplacingFile::temporaryPath() const { return temporaryName_.isEmpty() ? QString() : temporary_.fileName(); }

MaybeProblem ReplacingFile::fail(FailureKind why, const QString& error)
{
    discard();
    return logged(Problem{why, error}, target_);
}

MaybeProblem ReplacingFile::failFromErrno()
{
    const int error = errno;
    return fail(kindOfError(error), systemError(error));
}

void ReplacingFile::discard()
{
    if (temporaryName_.isEmpty())
        return;
    temporary_.close();
    ::unlinkat(folder_, temporaryName_.constData(), 0);
    temporaryName_.clear();
}

}  // namespace pelk
