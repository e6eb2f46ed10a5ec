#include "platform/real/regular_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelk {

OpenProblem openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode mode)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? OpenProblem::Missing : OpenProblem::Unreadable;
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return OpenProblem::NotAFile;
    }
    // Reads of a regular file never wait anyway; clear the flag so that nothing downstream
    // meets EAGAIN from a file system that honours it.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, mode | QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return OpenProblem::Unreadable;
    }
    return OpenProblem::None;
}

}  // namespace pelk
