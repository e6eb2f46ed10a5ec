#pragma once

#include "platform/real/files/file_stamp.h"
#include "platform/services.h"

#include <memory>

namespace pelk {

class BitmapAhead;
class WrittenPreviews;

// Pictures read by content (JPEG by the program's own decoder, plain bitmaps straight
// from their rows, the rest by Qt's readers) and written as bitmaps.
class RealPictureService : public PictureService {
public:
    // With `previews`, the preview of a file the encoder has just written is taken from there.
    explicit RealPictureService(WrittenPreviews* previews = nullptr);
    ~RealPictureService() override;
    QImage load(const QString& path) override;
    QImage loadForDisplay(const QString& path, QSize box) override;
    // A large JPEG is shown from a reduced decode while its bitmap is made in the background.
    QImage loadShownFirst(const QString& path, QSize box) override;
    void saveBitmap(const QImage& picture, const QString& path) override;

    // How many bitmaps were written from what was made in the background.
    int savesFromAhead() const { return savesFromAhead_; }
    // Waits until no background work runs.
    void waitUntilIdle();

private:
    // The bitmap of the JPEG last dropped, made ahead, and the reduced picture shown for it.
    std::unique_ptr<BitmapAhead> ahead_;
    qint64 shownKey_ = 0;
    int savesFromAhead_ = 0;

    WrittenPreviews* previews_;
    QString lastPath_;
    FileStamp lastStamp_;
    QImage last_;  // shared with the window's picture: costs no memory of its own
};

}  // namespace pelk
