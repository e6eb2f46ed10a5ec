#include "platform/real/file_service.h"

#include "platform/real/files/replacing_file.h"
#include "window/failure.h"

#include <QFileInfo>

namespace pelk {

qint64 RealFileService::length(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        throw Failure(FailureKind::FileNotFound, path);
    return info.size();  // 64-bit: files over 2 GiB show their true size
}

void RealFileService::replace(const QString& path, const QByteArray& bytes)
{
    ReplacingFile file(path);
    if (!file.open())
        throw Failure(file.problem(), path + QStringLiteral(": ") + file.errorString());
    if (file.device().write(bytes) != bytes.size())
        throw Failure(file.writeProblem(), path + QStringLiteral(": ") + file.device().errorString());
    if (!file.commit())
        throw Failure(file.problem(), path + QStringLiteral(": ") + file.errorString());
}

QByteArray RealFileService::readStart(const QString& path, qsizetype limit) { return pelk::readStart(path, limit); }

}  // namespace pelk
