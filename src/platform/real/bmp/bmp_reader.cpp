#include "platform/real/bmp/bmp_reader.h"

#include "platform/real/bmp/run_lengths.h"
#include "platform/real/pictures/picture_memory.h"

#include <QtEndian>
#include <cstring>
#include <vector>

namespace pelk {
namespace {

// The palette as 256 colours: indices past the file's last colour take the one colour
// the program gives them, never what happens to follow in the file or in memory.
QList<QRgb> paletteOf(const uchar* file, const BmpLayout& layout)
{
    QList<QRgb> colours(256, bmpMissingColour);
    for (int i = 0; i < layout.paletteColours; ++i) {
        const uchar* entry = file + layout.paletteOffset + qint64(i) * layout.paletteEntryBytes;
        colours[i] = qRgb(entry[2], entry[1], entry[0]);  // B, G, R (and one unused byte)
    }
    return colours;
}

// A channel of `bits` bits scaled to 0..255 with rounding, so that its largest value is
// 255 whatever its width: shifting it left instead would leave white at 248.
uint channelValue(quint32 pixel, BmpChannel channel)
{
    if (channel.bits == 8)
        return (pixel >> channel.shift) & 0xff;
    const quint32 max = channel.bits == 32 ? 0xffffffffu : (quint32(1) << channel.bits) - 1;
    const quint64 value = (pixel >> channel.shift) & max;
    return uint((value * 255 + max / 2) / max);
}

QRgb fieldColour(quint32 pixel, const BmpLayout& layout)
{
    const auto& c = layout.channels;
    const uint red = c[0].bits ? channelValue(pixel, c[0]) : 0;
    const uint green = c[1].bits ? channelValue(pixel, c[1]) : 0;
    const uint blue = c[2].bits ? channelValue(pixel, c[2]) : 0;
    return qRgba(int(red), int(green), int(blue), layout.alpha ? int(channelValue(pixel, c[3])) : 255);
}

// Alpha composed over white, in place. A picture whose alpha is zero throughout was
// written by a program that left the channel unused: it is opaque, not invisible.
void flattenAlpha(QImage& picture)
{
    bool visible = false;
    for (int y = 0; y < picture.height() && !visible; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < picture.width() && !visible; ++x)
            visible = qAlpha(line[x]) != 0;
    }
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = line[x];
            const int a = visible ? qAlpha(p) : 255;
            const auto over = [a](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
            line[x] = qRgb(over(qRed(p)), over(qGreen(p)), over(qBlue(p)));
        }
    }
}

void paletteRow(const uchar* src, uchar* dst, qint64 width, int bits)
{
    if (bits == 8) {
        std::memcpy(dst, src, size_t(width));
        return;
    }
    const int perByte = 8 / bits;
    const int mask = (1 << bits) - 1;
    for (qint64 x = 0; x < width; ++x)
        dst[x] = uchar((src[x / perByte] >> (8 - bits * (x % perByte + 1))) & mask);
}

// Run-length rows, over the colour of the pixels they skip.
QImage decodeRunLength(const uchar* file, const uchar* data, qint64 size, const BmpLayout& layout)
{
    const int width = int(layout.width), height = int(layout.height);
    QImage picture = allocatePicture(width, height, QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    picture.fill(bmpSkippedColour);
    const QList<QRgb> colours = paletteOf(file, layout);
    uchar* bits = picture.bits();
    const qsizetype bytesPerLine = picture.bytesPerLine();
    const auto put = [&](qint64 x, qint64 y, int index) {
        reinterpret_cast<QRgb*>(bits + (height - 1 - y) * bytesPerLine)[x] = colours[index];
    };
    if (walkRunLengths(data, size, layout.width, layout.height, layout.coding == BmpCoding::RunLength4, put))
        return {};
    return picture;
}

// The file's rows of plain pixels, top row first, whichever way they are stored.
struct FileRows {
    const uchar* data;
    qint64 stride;
    const BmpLayout& layout;
    const uchar* operator()(int y) const { return data + (layout.topDown ? y : layout.height - 1 - y) * stride; }
};

// Bit-field pixels, 16 or 32 bits.
void decodeBitFields(const FileRows& fileRow, const BmpLayout& layout, QImage& picture)
{
    const int width = picture.width(), height = picture.height();
    if (layout.bitsPerPixel == 16) {
        // Every 16-bit value's colour, worked out once.
        std::vector<QRgb> colours(65536);
        for (quint32 v = 0; v < 65536; ++v)
            colours[v] = fieldColour(v, layout);
        for (int y = 0; y < height; ++y) {
            const uchar* src = fileRow(y);
            auto* dst = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = 0; x < width; ++x)
                dst[x] = colours[qFromLittleEndian<quint16>(src + 2 * x)];
        }
        return;
    }
    for (int y = 0; y < height; ++y) {
        const uchar* src = fileRow(y);
        auto* dst = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x)
            dst[x] = fieldColour(qFromLittleEndian<quint32>(src + 4 * x), layout);
    }
}

// 24-bit or bit-field pixels, a declared alpha channel composed over white.
QImage decodeTrueColour(const FileRows& fileRow, const BmpLayout& layout)
{
    const int width = int(layout.width), height = int(layout.height);
    QImage picture = allocatePicture(width, height, QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    if (layout.coding == BmpCoding::Rgb24) {
        for (int y = 0; y < height; ++y) {
            const uchar* src = fileRow(y);
            auto* dst = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = 0; x < width; ++x, src += 3)
                dst[x] = qRgb(src[2], src[1], src[0]);
        }
    } else {
        decodeBitFields(fileRow, layout, picture);
    }
    if (layout.alpha)
        flattenAlpha(picture);
    return picture;
}

}  // namespace

QImage decodeBmp(QByteArrayView bytes, const BmpLayout& layout)
{
    if (layout.dataOffset >= bytes.size())
        return {};
    const auto* file = reinterpret_cast<const uchar*>(bytes.data());
    const uchar* data = file + layout.dataOffset;
    const qint64 size = bytes.size() - layout.dataOffset;
    if (layout.coding == BmpCoding::RunLength8 || layout.coding == BmpCoding::RunLength4)
        return decodeRunLength(file, data, size, layout);

    const qint64 stride = bmpStride(layout.width, layout.bitsPerPixel);
    if (size < stride * (layout.height - 1) + (layout.width * layout.bitsPerPixel + 7) / 8)
        return {};
    const FileRows fileRow{data, stride, layout};
    if (layout.coding != BmpCoding::Palette)
        return decodeTrueColour(fileRow, layout);

    const int width = int(layout.width), height = int(layout.height);
    QImage picture = allocatePicture(width, height, QImage::Format_Indexed8);
    if (picture.isNull())
        return {};
    picture.setColorTable(paletteOf(file, layout));
    for (int y = 0; y < height; ++y)
        paletteRow(fileRow(y), picture.scanLine(y), width, layout.bitsPerPixel);
    return picture;
}

}  // namespace pelk
