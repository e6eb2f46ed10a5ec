#include "platform/real/file_service.h"

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

}  // namespace pelk
