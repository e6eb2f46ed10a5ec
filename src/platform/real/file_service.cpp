#include "platform/real/file_service.h"

#include "platform/real/files/bounded_read.h"
#include "platform/real/files/regular_file.h"
#include "platform/real/files/replacing_file.h"
#include "window/failure.h"

namespace pelk {

qint64 RealFileService::length(const QString& path)
{
    return existingFile(path).size();  // 64-bit: files over 2 GiB show their true size
}

void RealFileService::replace(const QString& path, const QByteArray& bytes)
{
    // The failure names the file: the settings are saved without a word to the user.
    const auto failure = [&path](const Problem& problem) {
        return Failure(problem.kind, path + QStringLiteral(": ") + problem.reason);
    };
    ReplacingFile file(path);
    if (const MaybeProblem problem = file.open())
        throw failure(*problem);
    if (file.device().write(bytes) != bytes.size())
        throw failure(logged(file.writeProblem(), path));
    if (const MaybeProblem problem = file.commit())
        throw failure(*problem);
}

QByteArray RealFileService::readStart(const QString& path, qsizetype limit)
{
    BoundedRead read = readBounded(path, limit);
    if (read.problem)
        throw Failure(read.problem->kind, path);
    return std::move(read.bytes);
}

}  // namespace pelk
