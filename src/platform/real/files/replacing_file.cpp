#include "platform/real/files/replacing_file.h"

#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace pelk {
namespace {

// The kernel gives up on a path after this many links, and so do we.
constexpr int maxLinks = 40;

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

// The kernel's rule for following a link (fs.protected_symlinks): in a world-writable
// sticky folder such as /tmp, only a link of the user's own or of the folder's owner is
// followed. Checked here rather than left to the kernel: the switch may be off, and a
// rename never follows the link anyway, so the kernel would not be asked.
bool mayFollow(const struct stat& link, const struct stat& folder)
{
    if ((folder.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH))
        return true;
    return link.st_uid == ::geteuid() || link.st_uid == folder.st_uid;
}

// Where a path leads: its last name (not a link; it may not exist yet) in a folder reached
// without links of other users. Each name is looked up in the folder reached so far, so
// ".." in a link's target climbs from where the link lies, as in the kernel's own walk.
struct Walk {
    QByteArray folder;  // absolute, free of links, "." and ".."; empty for the root
    QByteArray name;
    struct stat folderStat { };
    FailureKind problem = FailureKind::WriteFailed;
    int error = 0;  // 0 when the walk arrived
};

void pushNames(std::vector<QByteArray>& pending, const QByteArray& path)
{
    const QList<QByteArray> names = path.split('/');
    for (auto it = names.crbegin(); it != names.crend(); ++it)
        if (!it->isEmpty() && *it != ".")
            pending.push_back(*it);
}

Walk walk(const QByteArray& path)
{
    Walk w;
    if (path.isEmpty()) {
        w.error = ENOENT;
        return w;
    }
    if (!path.startsWith('/')) {
        std::vector<char> cwd(4096);
        while (!::getcwd(cwd.data(), cwd.size())) {
            if (errno != ERANGE) {
                w.error = errno;
                return w;
            }
            cwd.resize(cwd.size() * 2);
        }
        w.folder = QByteArray(cwd.data());
        if (w.folder == "/")
            w.folder.clear();
    }
    if (::stat(w.folder.isEmpty() ? "/" : w.folder.constData(), &w.folderStat) != 0) {
        w.error = errno;
        return w;
    }
    std::vector<QByteArray> pending;
    pushNames(pending, path);
    int links = 0;
    while (!pending.empty()) {
        const QByteArray name = pending.back();
        pending.pop_back();
        if (name == "..") {
            w.folder.truncate(std::max<qsizetype>(0, w.folder.lastIndexOf('/')));
            if (::stat(w.folder.isEmpty() ? "/" : w.folder.constData(), &w.folderStat) != 0) {
                w.error = errno;
                return w;
            }
            continue;
        }
        const QByteArray candidate = w.folder + '/' + name;
        struct stat st { };
        if (::lstat(candidate.constData(), &st) != 0) {
            w.error = errno;
            if (errno == ENOENT && pending.empty()) {
                w.name = name;  // a new file
                w.error = 0;
            }
            return w;
        }
        if (S_ISLNK(st.st_mode)) {
            if (++links > maxLinks) {
                w.error = ELOOP;
                return w;
            }
            if (!mayFollow(st, w.folderStat)) {
                w.problem = FailureKind::ForeignFile;
                w.error = EACCES;
                return w;
            }
            QByteArray target(qsizetype(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
            const ssize_t length = ::readlink(candidate.constData(), target.data(), std::size_t(target.size()));
            if (length < 0 || length >= target.size()) {
                w.error = length < 0 ? errno : ENAMETOOLONG;  // changed under us
                return w;
            }
            target.truncate(length);
            if (target.startsWith('/')) {
                w.folder.clear();
                ::stat("/", &w.folderStat);
            }
            pushNames(pending, target);
            continue;
        }
        if (pending.empty()) {
            w.name = name;
            return w;
        }
        if (!S_ISDIR(st.st_mode)) {
            w.error = ENOTDIR;
            return w;
        }
        w.folder = candidate;
        w.folderStat = st;
    }
    // The path ends in a folder ("x/.." or "/").
    w.problem = FailureKind::NotAFile;
    w.error = EISDIR;
    return w;
}

// Opens the folder the walk arrived in, and makes sure it is still the one walked.
int openFolder(const Walk& w)
{
    const int fd = ::open(w.folder.isEmpty() ? "/" : w.folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st { };
    if (::fstat(fd, &st) != 0 || st.st_dev != w.folderStat.st_dev || st.st_ino != w.folderStat.st_ino) {
        ::close(fd);
        errno = EAGAIN;
        return -1;
    }
    return fd;
}

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

bool ReplacingFile::open()
{
    const Walk w = walk(QFile::encodeName(target_));
    if (w.error != 0)
        return fail(w.problem == FailureKind::WriteFailed ? kindOfError(w.error) : w.problem, systemError(w.error));
    folder_ = openFolder(w);
    if (folder_ < 0)
        return failFromErrno();
    name_ = w.name;
    struct stat old { };
    bool replacing = false;
    FailureKind why = FailureKind::WriteFailed;
    if (const int error = refusal(folder_, name_, old, replacing, why))
        return fail(why, systemError(error));

    // Over an older file the new one starts owner-only and gets that file's owner and bits
    // at commit(); a new file gets what any new file gets (0666 less the umask).
    const QString folderPath = w.folder.isEmpty() ? QStringLiteral("") : QFile::decodeName(w.folder);
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporaryName_ = shortUniqueName();
        // O_EXCL never opens a file someone else made.
        const int fd = ::openat(folder_, temporaryName_.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, replacing ? 0600 : 0666);
        if (fd >= 0) {
            temporary_.setFileName(folderPath + u'/' + QFile::decodeName(temporaryName_));
            if (temporary_.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
                return true;
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

bool ReplacingFile::commit()
{
    if (!temporary_.isOpen())
        return false;
    if (!temporary_.flush())
        return fail(writeProblem(), temporary_.errorString());
    // Looked at again: the old file may have been made read-only, or replaced, since open().
    struct stat old { };
    bool replacing = false;
    FailureKind why = FailureKind::WriteFailed;
    if (const int error = refusal(folder_, name_, old, replacing, why))
        return fail(why, systemError(error));
    const int fd = temporary_.handle();
    if (replacing) {
        // Owner first: a change of owner clears the set-id bits the mode then sets again.
        struct stat made { };
        if (::fstat(fd, &made) != 0)
            return failFromErrno();
        if ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
            return fail(FailureKind::ForeignFile, systemError(errno));
        // Where the file system cannot take the bits (some network and FUSE ones), the file
        // keeps those it was made with: never wider than the old file's.
        ::fchmod(fd, old.st_mode & 07777);
    }
    int result = 0;
    do {
        result = ::fsync(fd);
    } while (retryEintr(result));
    if (result != 0)
        return fail(writeProblem(), systemError(errno));
    temporary_.close();
    if (temporary_.error() != QFileDevice::NoError)
        return fail(writeProblem(), temporary_.errorString());
    // renameat() replaces the name in the folder in one step, never what a link names.
    if (::renameat(folder_, temporaryName_.constData(), folder_, name_.constData()) != 0)
        return failFromErrno();
    committed_ = true;

    // The rename lives in the folder's entries: without this a power cut may bring back
    // the old file, or none. A folder that cannot be opened for reading (one the user
    // may only write to), or a file system that cannot sync folders (EINVAL), gives no
    // way to do it and is left to the system; any other refusal is an I/O error.
    const int folder = ::openat(folder_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return true;
    do {
        result = ::fsync(folder);
    } while (retryEintr(result));
    const int error = errno;
    ::close(folder);
    if (result != 0 && error != EINVAL && error != ENOTSUP) {
        problem_ = kindOfError(error);
        error_ = systemError(error);
        return false;
    }
    return true;
}

FailureKind ReplacingFile::writeProblem() const
{
    if (temporary_.error() == QFileDevice::ResourceError || errno == ENOSPC || errno == EDQUOT)
        return FailureKind::DiskFull;
    // Qt may have called on after the failing write: the disk itself still says it.
    struct statvfs disk { };
    if (temporary_.isOpen() && ::fstatvfs(temporary_.handle(), &disk) == 0 && disk.f_bavail == 0)
        return FailureKind::DiskFull;
    return FailureKind::WriteFailed;
}

QString ReplacingFile::temporaryPath() const { return temporaryName_.isEmpty() ? QString() : temporary_.fileName(); }

bool ReplacingFile::fail(FailureKind why, const QString& error)
{
    problem_ = why;
    error_ = error;
    discard();
    return false;
}

bool ReplacingFile::failFromErrno()
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

int openForReading(const QString& path, FailureKind& problem)
{
    const Walk w = walk(QFile::encodeName(path));
    if (w.error != 0 || w.name.isEmpty()) {
        if (w.problem != FailureKind::WriteFailed)
            problem = w.problem;
        else
            problem = w.error == ENOENT || w.error == ENOTDIR ? FailureKind::FileNotFound : FailureKind::ReadFailed;
        return -1;
    }
    const int folder = openFolder(w);
    if (folder < 0) {
        problem = FailureKind::ReadFailed;
        return -1;
    }
    // A device is not even opened: opening one may do something.
    struct stat seen { };
    if (::fstatat(folder, w.name.constData(), &seen, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(seen.st_mode)) {
        ::close(folder);
        problem = FailureKind::NotAFile;
        return -1;
    }
    // O_NONBLOCK: a FIFO opens at once instead of waiting for a writer, and is then
    // refused by its type like any other file that is not a regular one.
    const int fd = ::openat(folder, w.name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    const int openError = errno;
    ::close(folder);
    if (fd < 0) {
        problem = openError == ENOENT ? FailureKind::FileNotFound
            : openError == ELOOP      ? FailureKind::NotAFile
                                      : FailureKind::ReadFailed;
        return -1;
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        problem = FailureKind::NotAFile;
        return -1;
    }
    return fd;
}

QByteArray readStart(const QString& path, qsizetype limit)
{
    FailureKind problem = FailureKind::ReadFailed;
    const int fd = openForReading(path, problem);
    if (fd < 0)
        throw Failure(problem, path);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw Failure(FailureKind::ReadFailed, path);
    }
    QByteArray bytes = file.read(limit);
    if (file.error() != QFileDevice::NoError)
        throw Failure(FailureKind::ReadFailed, path);
    return bytes;
}

}  // namespace pelk
