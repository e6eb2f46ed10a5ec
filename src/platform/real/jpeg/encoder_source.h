#pragma once

#include "platform/real/bmp/bmp_rows.h"
#include "platform/real/jpeg/libjpeg_support.h"
#include "platform/real/problem.h"

#include <QImage>
#include <QString>

#include <optional>

namespace pelk {

class HeldPicture;

// Pixels as libjpeg will read them: straight from the picture's own rows, or from the
// file's rows when `rows` is set.
struct EncoderPixels {
    const uchar* bits;
    qsizetype stride;
    int width;
    int height;
    int components;
    J_COLOR_SPACE space;
    BitmapRows* rows = nullptr;
};

// The source as libjpeg will read it, read the way the preview read it (by content, with
// the same guards), so that what the window shows is what gets encoded. A damaged file is
// refused: encoding the part that could be read would pass it off as the whole picture.
// A complete plain 24- or 32-bit bitmap (the reader takes its rows as they are, and its
// checks pass it whole) goes to libjpeg a block of rows at a time, as the rows lie in the
// file: the same pixels, without a decoded copy of the whole picture beside the one the
// window already holds. Filled in place: `pixels` points into it.
class EncoderSource {
public:
    EncoderSource() = default;
    EncoderSource(const EncoderSource&) = delete;
    EncoderSource& operator=(const EncoderSource&) = delete;

    // TooLarge for a picture beyond the budget; any other kind when it cannot be encoded.
    // The picture `held` has of the file, when it has one of this version, is used as it
    // is: it was read the same way.
    MaybeProblem read(const QString& path, const HeldPicture* held = nullptr);
    const EncoderPixels& pixels() const { return pixels_; }

private:
    MaybeProblem use(QImage picture);

    std::optional<PlainBitmapFile> plain_;
    std::optional<BitmapRows> fileRows_;
    QImage picture_;
    EncoderPixels pixels_{};
};

}  // namespace pelk
