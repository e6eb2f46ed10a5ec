#include "platform/real/files/path_walk.h"

#include <QList>

#include <algorithm>
#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace pelk {
namespace {

// The kernel gives up on a path after this many links, and so do we.
constexpr int maxLinks = 40;

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

void pushNames(std::vector<QByteArray>& pending, const QByteArray& path)
{
    const QList<QByteArray> names = path.split('/');
    for (auto it = names.crbegin(); it != names.crend(); ++it)
        if (!it->isEmpty() && *it != ".")
            pending.push_back(*it);
}

// Looks at the folder the walk stands in; false with the error set when it cannot.
bool statFolder(Walk& w)
{
    if (::stat(w.folder.isEmpty() ? "/" : w.folder.constData(), &w.folderStat) == 0)
        return true;
    w.error = errno;
    return false;
}

// The walk's starting folder: the working folder for a relative path, else the root.
bool start(Walk& w, const QByteArray& path)
{
    if (path.isEmpty()) {
        w.error = ENOENT;
        return false;
    }
    if (!path.startsWith('/')) {
        std::vector<char> cwd(4096);
        while (!::getcwd(cwd.data(), cwd.size())) {
            if (errno != ERANGE) {
                w.error = errno;
                return false;
            }
            cwd.resize(cwd.size() * 2);
        }
        w.folder = QByteArray(cwd.data());
        if (w.folder == "/")
            w.folder.clear();
    }
    return statFolder(w);
}

// Follows the link `candidate` (already looked at as `st`): its target's names go on the
// pending list. False with the error set when it may not or cannot be followed.
bool follow(Walk& w, const QByteArray& candidate, const struct stat& st, std::vector<QByteArray>& pending)
{
    if (!mayFollow(st, w.folderStat)) {
        w.problem = FailureKind::ForeignFile;
        w.error = EACCES;
        return false;
    }
    QByteArray target(qsizetype(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t length = ::readlink(candidate.constData(), target.data(), std::size_t(target.size()));
    if (length < 0 || length >= target.size()) {
        w.error = length < 0 ? errno : ENAMETOOLONG;  // changed under us
        return false;
    }
    target.truncate(length);
    if (target.startsWith('/')) {
        w.folder.clear();
        ::stat("/", &w.folderStat);
    }
    pushNames(pending, target);
    return true;
}

}  // namespace

Walk walkPath(const QByteArray& path)
{
    Walk w;
    if (!start(w, path))
        return w;
    std::vector<QByteArray> pending;
    pushNames(pending, path);
    int links = 0;
    while (!pending.empty()) {
        const QByteArray name = pending.back();
        pending.pop_back();
        if (name == "..") {
            w.folder.truncate(std::max<qsizetype>(0, w.folder.lastIndexOf('/')));
            if (!statFolder(w))
                return w;
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
            if (!follow(w, candidate, st, pending))
                return w;
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

int openWalkedFolder(const Walk& w)
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

}  // namespace pelk
