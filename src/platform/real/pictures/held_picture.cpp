#include "platform/real/pictures/held_picture.h"

#include <QFileInfo>

namespace pelk {

void HeldPicture::hold(const QString& path, const FileStamp& stamp, const QImage& picture)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const std::lock_guard lock(mutex_);
    path_ = absolute;
    stamp_ = stamp;
    picture_ = picture;
}

std::optional<QImage> HeldPicture::of(const QString& path) const
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QImage picture;
    FileStamp stamp;
    {
        const std::lock_guard lock(mutex_);
        if (picture_.isNull() || absolute != path_)
            return std::nullopt;
        picture = picture_;
        stamp = stamp_;
    }
    if (!stamp.sameVersion(fileStamp(path)))
        return std::nullopt;
    return picture;
}

}  // namespace pelk
