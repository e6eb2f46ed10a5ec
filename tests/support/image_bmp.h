#pragma once

#include <QByteArray>
#include <QImage>
#include <vector>

// Windows bitmaps built byte by byte, in the layouts Qt's own writer never produces,
// and an independent reader for the plain layouts a viewer must open.
namespace pelk::test {

enum class BmpLayout {
    Palette1,  // 2 colours (blue and yellow: not a gray palette)
    Palette4,  // 16 colours
    Palette8,  // 6x6x6 colour cube
    Gray8,     // 256-entry gray palette
    Rle4,      // 16 colours, run-length encoded
    Rle8,      // colour cube, run-length encoded
    Rgb555,    // 16-bit, no masks (BI_RGB)
    Rgb565,    // 16-bit with bit-field masks
    Rgb24,
    Rgb32,        // BI_RGB, the fourth byte unused
    Bitfields32,  // 32-bit with masks in a V4 header, no alpha
    Alpha32,      // V5 header with an alpha mask; the left third transparent, a band half
    ZeroAlpha32,  // V5 header with an alpha mask but every alpha byte 0
};

struct BmpOptions {
    bool topDown = false;  // negative height: first row first; never for RLE or a core header
    // 12 (the OS/2 core header, for palettes and 24 bits without compression), 40, 52 or 56
    // (the masks in the header), 108 (V4) or 124 (V5); 0 picks the layout's usual one
    int infoHeaderSize = 0;
    std::vector<QRgb> palette = {};  // colours in place of a palette layout's own
};

struct BmpFile {
    QByteArray bytes;
    // What a correct reader shows for the file (Format_RGB32), with any transparency
    // composed over white: the content reduced to the layout's colours.
    QImage expected;
};

// Flat squares of random colours, `block` pixels wide, aligned to the top-left corner:
// content a JPEG keeps almost exactly once the squares line up with its blocks, and in
// which a flipped, mirrored or colour-swapped reading stands out.
QImage colourBlocks(int width, int height, int block, quint32 seed = 1);

// `content` is any picture; it is reduced to the layout's colours.
BmpFile makeBmp(const QImage& content, BmpLayout layout, BmpOptions options = {});

// The layout's headers and palette around pixel data taken as they are: for run-length
// streams made by hand, that end early, skip pixels or run past the picture.
QByteArray bmpAroundData(BmpLayout layout, int width, int height, const QByteArray& data,
                         const BmpOptions& options = {});

// Only a header: a 24-bit bitmap declaring width x height with no pixel data.
QByteArray bmpHeaderOnly(int width, int height);

// The main fields of a bitmap's headers, read from its bytes.
struct BmpHeader {
    bool valid = false;
    quint32 fileSize = 0;
    quint32 dataOffset = 0;
    quint32 infoSize = 0;
    qint32 width = 0;
    qint32 height = 0;  // negative: top-down
    quint16 planes = 0;
    quint16 bitCount = 0;
    quint32 compression = 0;
    quint32 colorsUsed = 0;
};
BmpHeader parseBmpHeader(const QByteArray& bytes);

// Decodes an uncompressed 8-bit palette or 24-bit bitmap without Qt's reader, to check
// Qt's writer against something other than itself. A null picture when the layout is
// anything else or the file is inconsistent (sizes, offsets, palette indices).
QImage decodePlainBmp(const QByteArray& bytes);

}  // namespace pelk::test
