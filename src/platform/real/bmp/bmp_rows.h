#pragma once

#include <QFile>
#include <QImage>
#include <memory>
#include <optional>
#include <vector>

// The fast road for the bitmaps that matter most, uncompressed 24-bit and 32-bit rows:
// read straight from the file in large blocks, without decoding the whole file first. The
// picture is the one decodeBmp makes of the same file; the encoder streams these rows.
namespace pelk {

struct PlainBitmap {
    int width = 0;
    int height = 0;         // rows, always positive
    bool topDown = false;   // the first row in the file is the top row
    int bytesPerPixel = 0;  // 3 (B, G, R) or 4 (B, G, R, unused)
    qint64 pixelOffset = 0;
    qint64 stride = 0;  // bytes per row in the file, padded to 4
    int dotsPerMeterX = 0;
    int dotsPerMeterY = 0;
};

// A complete plain bitmap of at most maxPicturePixels pixels, opened for reading its rows
// (unbuffered: the rows are read in large blocks), or nothing for any other file. Plain:
// 24-bit rows, or 32-bit rows of blue, green and red bytes and one unused byte, whatever
// the header.
struct PlainBitmapFile {
    std::unique_ptr<QFile> file;
    PlainBitmap layout;
};
std::optional<PlainBitmapFile> openPlainBitmap(const QString& path);

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

}  // namespace pelk
