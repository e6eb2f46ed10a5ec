#include "platform/real/files/bounded_read.h"

#include "platform/real/files/regular_file.h"

namespace pelk {

BoundedRead readBounded(QFile& file, qsizetype limit)
{
    BoundedRead read;
    read.bytes = file.read(limit);
    if (file.error() != QFileDevice::NoError)
        read.problem = Problem{FailureKind::ReadFailed, QStringLiteral("cannot be read: ") + file.errorString()};
    return read;
}

BoundedRead readBounded(const QString& path, qsizetype limit)
{
    QFile file;
    if (MaybeProblem problem = openRegularFile(file, path))
        return {{}, logged(*problem, path)};
    BoundedRead read = readBounded(file, limit);
    if (read.problem)
        logged(*read.problem, path);
    return read;
}

}  // namespace pelk
