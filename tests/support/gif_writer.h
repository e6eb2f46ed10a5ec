#pragma once

#include <QByteArray>
#include <QImage>
#include <vector>

// Qt reads GIF but cannot write it: a small GIF89a writer for test files.
namespace pelk::test {

struct GifFrame {
    QImage picture;  // any format; reduced to at most 256 colours
    int left = 0;
    int top = 0;
    int transparentIndex = -1;  // a palette index to mark transparent, or -1
    bool interlaced = false;
    bool localPalette = false;  // the frame's own colour table instead of the global one
    int delayCentiseconds = 0;
};

// One frame per entry, on a logical screen of `screen` (the first frame's size when empty).
// The global colour table is the first frame's palette.
QByteArray makeGif(const std::vector<GifFrame>& frames, QSize screen = {});

// A single-frame GIF of the picture.
QByteArray makeGif(const QImage& picture);

// The picture reduced to the palette that makeGif would write for it.
QImage gifIndexed(const QImage& picture);

// Where a GIF's first picture lies: its descriptor, the first of its data sub-blocks,
// and the zero length that ends them.
struct GifPicture {
    qsizetype descriptor = -1, data = -1, end = -1;
};
GifPicture firstGifPicture(const QByteArray& gif);

// The GIF cut at the data sub-block nearest the middle of its first picture's data, the
// blocks ended and the trailer put back: well-formed, but the picture's data end early.
QByteArray gifCutInItsPicture(const QByteArray& gif);

}  // namespace pelk::test
