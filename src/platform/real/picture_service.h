#pragma once

#include "platform/real/pictures/held_picture.h"
#include "platform/services.h"

#include <memory>

namespace pelk {

class BitmapAhead;
class WrittenPreviews;

// Pictures read by content (JPEG by the program's own decoder, plain bitmaps straight
// from their rows, the rest by Qt's readers) and written as bitmaps.
class RealPictureService : public PictureService {
public:
    // With `previews`, the preview of a file the encoder has just written is taken from there;
    // with `held`, the picture last loaded whole is kept there for the encoder too.
    explicit RealPictureService(WrittenPreviews* previews = nullptr, HeldPicture* held = nullptr);
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
    HeldPicture ownHeld_;
    HeldPicture* held_;  // the picture last loaded whole
};

}  // namespace pelk
