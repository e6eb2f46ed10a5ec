#pragma once

#include "platform/real/file_stamp.h"
#include "platform/services.h"

namespace pelk {

class WrittenPreviews;

// Pictures read by content (JPEG by the program's own decoder, plain bitmaps straight
// from their rows, the rest by Qt's readers) and written as bitmaps.
class RealPictureService : public PictureService {
public:
    // With `previews`, the preview of a file the encoder has just written is taken from there.
    explicit RealPictureService(WrittenPreviews* previews = nullptr);
    QImage load(const QString& path) override;
    QImage loadForDisplay(const QString& path, QSize box) override;
    void saveBitmap(const QImage& picture, const QString& path) override;

private:
    WrittenPreviews* previews_;
    QString lastPath_;
    FileStamp lastStamp_;
    QImage last_;  // shared with the window's picture: costs no memory of its own
};

}  // namespace pelk
