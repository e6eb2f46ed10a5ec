#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QImage>
#include <memory>
#include <optional>
#include <vector>

// The Windows bitmap format as this program knows it: its headers, its rows, and the fast
// road for the bitmaps that matter most, uncompressed 24-bit and 32-bit rows (BI_RGB),
// read straight from the file without Qt's per-pixel reader and written the same way.
// Every other layout (palettes, 16-bit, compressed, bit fields, alpha, truncated files)
// is left to Qt's reader, which knows them all.
namespace pelk {

// Bytes per row of a bitmap file: rows are padded to whole 32-bit words.
inline qint64 bmpStride(qint64 width, int bitsPerPixel) { return (width * bitsPerPixel + 31) / 32 * 4; }

// The file header and the information header, as stored. An OS/2 core header (12 bytes)
// has 16-bit sizes and no compression; fields a shorter header lacks are 0.
struct BmpHeader {
    quint32 dataOffset = 0;
    quint32 infoSize = 0;  // 12, 40, 108 (V4) or 124 (V5); other sizes are read as 40
    qint64 width = 0;
    qint64 height = 0;  // negative: the rows are stored top-down
    int planes = 0;
    int bitsPerPixel = 0;
    quint32 compression = 0;  // 0 BI_RGB, 1 BI_RLE8, 2 BI_RLE4, 3 BI_BITFIELDS, ...
    quint32 paletteColours = 0;
    qint32 dotsPerMeterX = 0;
    qint32 dotsPerMeterY = 0;
};

// The largest header: a V5 information header after the file header.
inline constexpr qsizetype maxBmpHeaderBytes = 14 + 124;

// The headers at the start of `bytes`; nothing when it is no bitmap or they are cut short.
std::optional<BmpHeader> readBmpHeader(QByteArrayView bytes);

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
// (unbuffered: the rows are read in large blocks), or nothing for any other file.
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

// The 54-byte header of a 24-bit bottom-up bitmap (file header and BITMAPINFOHEADER), as
// writeBitmap24 writes it. The data must fit in 4 GiB.
void bitmap24Header(uchar (&h)[54], int width, int height, int dotsPerMeterX, int dotsPerMeterY);

// Writes an opaque Format_RGB32 picture as a 24-bit bottom-up bitmap, the layout Qt's
// writer makes of it, in large blocks.
bool writeBitmap24(const QImage& picture, QIODevice& out);

// Writes any picture as a bitmap file every viewer opens: 24-bit for true colour, an 8-bit
// palette for palette and gray pictures, transparency composed over white. False when
// the picture is null or cannot be converted or written.
bool writeBitmapFile(const QImage& picture, QIODevice& out);

}  // namespace pelk
