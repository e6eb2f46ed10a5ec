#pragma once

#include "platform/real/file_stamp.h"
#include "platform/real/picture_tools.h"
#include "platform/services.h"

namespace pelk {

// Pictures through Qt's image readers and its BMP writer.
class RealPictureService : public PictureService {
public:
    RealPictureService();
    QImage load(const QString& path) override;
    QImage loadForDisplay(const QString& path, QSize box) override;
    void saveBitmap(const QImage& picture, const QString& path) override;

    // The largest picture accepted, in pixels. Ordinary large photos must load.
    static constexpr qint64 maxPixels = maxPicturePixels;

private:
    QString lastPath_;
    FileStamp lastStamp_;
    QImage last_;  // shared with the window's picture: costs no memory of its own
};

}  // namespace pelk
