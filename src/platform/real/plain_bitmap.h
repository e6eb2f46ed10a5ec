#pragma once

#include <QFile>
#include <QImage>
#include <optional>
#include <vector>

// The fast road for the bitmaps that matter most: uncompressed 24-bit and 32-bit rows
// (BI_RGB) are read straight from the file, without Qt's per-pixel reader. Every other
// layout (palettes, 16-bit, compressed, bit fields, alpha, truncated files) is left to
// Qt's reader, which knows them all.
namespace pelk {

struct PlainBitmap {
    int width = 0;
    int height = 0;         // rows, always positive
    bool topDown = false;   // the first row in the file is the top row
    int bytesPerPixel = 0;  // 3 (B, G, R) or 4 (B, G, R, unused)
    qint64 pixelOffset = 0;
    qint64 stride = 0;      // bytes per row in the file, padded to 4
    int dotsPerMeterX = 0;
    int dotsPerMeterY = 0;
};

// The layout of the open file when it is a complete plain bitmap of at most `maxPixels`
// pixels; nothing otherwise. Reads the headers through `file`'s current position 0.
std::optional<PlainBitmap> plainBitmapLayout(QFile& file, qint64 maxPixels);

// The rows of a plain bitmap from top to bottom, read in large blocks. A row pointer is
// valid until the next call; null when the file could not be read.
class BitmapRows {
public:
    BitmapRows(QFile& file, const PlainBitmap& layout);
    const uchar* row(int y);  // rows must be asked for in order 0, 1, 2, ...

private:
    bool fill(int y);

    QFile& file_;
    PlainBitmap layout_;
    std::vector<uchar> block_;
    int rowsPerBlock_ = 1;
    int first_ = 0;  // the top picture row held in block_
    int count_ = 0;
};

// The whole picture as Format_RGB32; a null image when the file cannot be read or the
// picture cannot be allocated.
QImage readPlainBitmap(QFile& file, const PlainBitmap& layout);

// A picture for display only, covering `box` (never smaller than it in either
// direction): each pixel averages samples of a block of the file's pixels.
QImage readPlainBitmapReduced(QFile& file, const PlainBitmap& layout, QSize box);

// Writes an opaque Format_RGB32 picture as a 24-bit bottom-up bitmap, the layout Qt's
// writer makes of it, in large blocks.
bool writeBitmap24(const QImage& picture, QIODevice& out);

}  // namespace pelk
