#include "platform/real/files/regular_file.h"

#include "platform/real/files/replacing_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelk {

OpenProblem openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode mode)
{
    FailureKind problem = FailureKind::ReadFailed;
    const int fd = openForReading(path, problem);
    if (fd < 0) {
        switch (problem) {
        case FailureKind::FileNotFound:
            return OpenProblem::Missing;
        case FailureKind::NotAFile:
            return OpenProblem::NotAFile;
        case FailureKind::ForeignFile:
            return OpenProblem::Foreign;
        default:
            return OpenProblem::Unreadable;
        }
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
