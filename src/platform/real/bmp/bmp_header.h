#pragma once

#include "platform/real/problem.h"

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <array>

// A bitmap file's headers, read into what a decoder needs: where the palette and the
// pixels are, how many bits a pixel has and what they mean. Every header the format has
// is read: OS/2 1.x (12 bytes), OS/2 2.x (16 to 64 bytes), and Windows' 40, 52, 56, 108
// and 124 bytes.
namespace pelk {

enum class BmpCoding {
    Palette,    // 1, 2, 4 or 8 bits, an index into the palette
    Rgb24,      // B, G, R
    BitFields,  // 16 or 32 bits, channels at the masks' positions
    RunLength8,
    RunLength4,
};

// One channel of a bit-field pixel: `bits` bits from `shift` up; none when bits is 0.
struct BmpChannel {
    int shift = 0;
    int bits = 0;
};

struct BmpLayout {
    qint64 width = 0;
    qint64 height = 0;     // rows, always positive
    bool topDown = false;  // the first row in the file is the top row
    int bitsPerPixel = 0;
    BmpCoding coding = BmpCoding::Palette;
    std::array<BmpChannel, 4> channels{};  // red, green, blue, alpha
    bool alpha = false;                    // the file declares an alpha channel
    qint64 paletteOffset = 0;
    int paletteEntryBytes = 4;  // 3 in an OS/2 1.x file
    int paletteColours = 0;     // entries that can be indexed and lie in the file, at most 256
    qint64 dataOffset = 0;
    qint32 dotsPerMeterX = 0;
    qint32 dotsPerMeterY = 0;
};

// The layout, or why the file cannot be decoded (NotAPicture): one we do not read
// ("unsupported"), or a broken one ("damaged").
struct BmpParse {
    BmpLayout layout;
    MaybeProblem problem;
};

// Bytes per row of a bitmap's pixels: rows are padded to whole 32-bit words.
inline qint64 bmpStride(qint64 width, int bitsPerPixel) { return (width * bitsPerPixel + 31) / 32 * 4; }

// Reads the headers at the start of a file. The pixel data is not looked at.
BmpParse parseBmp(QByteArrayView bytes);

}  // namespace pelk
