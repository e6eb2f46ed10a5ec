#include "platform/real/files/regular_file.h"

#include "platform/real/files/path_walk.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelk {
namespace {

Problem refused(FailureKind kind, const char* why) { return {kind, QString::fromLatin1(why)}; }

Problem cannotOpen(int error)
{
    return {FailureKind::ReadFailed,
            QStringLiteral("cannot be opened: ") + QString::fromLocal8Bit(std::strerror(error))};
}

Problem missing(int error) { return {FailureKind::FileNotFound, QString::fromLocal8Bit(std::strerror(error))}; }

// The open descriptor of the regular file the walk arrived at (O_NONBLOCK), or why not.
MaybeProblem openWalked(const Walk& w, int* fd)
{
    const int folder = openWalkedFolder(w);
    if (folder < 0)
        return cannotOpen(errno);
    // A device is not even opened: opening one may do something.
    struct stat seen { };
    if (::fstatat(folder, w.name.constData(), &seen, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(seen.st_mode)) {
        ::close(folder);
        return refused(FailureKind::NotAFile, "not a regular file");
    }
    // O_NONBLOCK: a FIFO opens at once instead of waiting for a writer, and is then
    // refused by its type like any other file that is not a regular one.
    *fd = ::openat(folder, w.name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    const int openError = errno;
    ::close(folder);
    if (*fd < 0) {
        if (openError == ELOOP)
            return refused(FailureKind::NotAFile, "a link put there since the walk");
        return openError == ENOENT ? missing(openError) : cannotOpen(openError);
    }
    struct stat st { };
    if (::fstat(*fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(*fd);
        return refused(FailureKind::NotAFile, "not a regular file");
    }
    return std::nullopt;
}

}  // namespace

MaybeProblem openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode mode)
{
    const Walk w = walkPath(QFile::encodeName(path));
    if (w.error != 0 || w.name.isEmpty()) {
        if (w.problem == FailureKind::ForeignFile)
            return refused(FailureKind::ForeignFile, "another user's link");
        if (w.problem == FailureKind::NotAFile)
            return refused(FailureKind::NotAFile, "a folder");
        return w.error == ENOENT || w.error == ENOTDIR ? missing(w.error) : cannotOpen(w.error);
    }
    int fd = -1;
    if (MaybeProblem problem = openWalked(w, &fd))
        return problem;
    // Reads of a regular file never wait anyway; clear the flag so that nothing downstream
    // meets EAGAIN from a file system that honours it.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, mode | QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Problem{FailureKind::ReadFailed, QStringLiteral("cannot be opened: ") + file.errorString()};
    }
    return std::nullopt;
}

QFileInfo existingFile(const QString& path)
{
    QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        logged(Problem{FailureKind::FileNotFound, QStringLiteral("no such file")}, path);
        throw Failure(FailureKind::FileNotFound, path);
    }
    return info;
}

MaybeProblem openFoundFile(QFile& file, const QString& path, QIODevice::OpenMode mode)
{
    MaybeProblem problem = openRegularFile(file, path, mode);
    if (problem && problem->kind == FailureKind::FileNotFound)
        problem->kind = FailureKind::ReadFailed;
    return problem;
}

}  // namespace pelk
