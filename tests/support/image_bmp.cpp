#include "support/image_bmp.h"

#include <QRandomGenerator>
#include <QtEndian>
#include <vector>

namespace pelk::test {
namespace {

void put16(QByteArray& out, quint16 v)
{
    out.append(char(v & 0xff));
    out.append(char(v >> 8));
}

void put32(QByteArray& out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xff));
}

quint16 get16(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint16>(reinterpret_cast<const uchar*>(b.constData()) + at);
}

quint32 get32(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(b.constData()) + at);
}

std::vector<QRgb> paletteFor(BmpLayout layout)
{
    std::vector<QRgb> palette;
    switch (layout) {
    case BmpLayout::Palette1:
        palette = {qRgb(20, 30, 140), qRgb(250, 220, 40)};
        break;
    case BmpLayout::Palette4:
    case BmpLayout::Rle4:
        for (int i = 0; i < 16; ++i)  // two levels of red, green and blue, and their halves
            palette.push_back(qRgb((i & 1) ? 255 : 0, (i & 2) ? 255 : 0, (i & 4) ? 255 : 0)
                              & ((i & 8) ? 0xff7f7f7f : 0xffffffff));
        break;
    case BmpLayout::Palette8:
    case BmpLayout::Rle8:
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    palette.push_back(qRgb(r * 51, g * 51, b * 51));
        break;
    case BmpLayout::Gray8:
        for (int i = 0; i < 256; ++i)
            palette.push_back(qRgb(i, i, i));
        break;
    default:
        break;
    }
    return palette;
}

int nearest(const std::vector<QRgb>& palette, QRgb c)
{
    int best = 0;
    int bestDistance = INT_MAX;
    for (int i = 0; i < int(palette.size()); ++i) {
        const int dr = qRed(c) - qRed(palette[i]);
        const int dg = qGreen(c) - qGreen(palette[i]);
        const int db = qBlue(c) - qBlue(palette[i]);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

int paletteIndex(BmpLayout layout, const std::vector<QRgb>& palette, QRgb c)
{
    switch (layout) {
    case BmpLayout::Palette1:
        return qGray(c) >= 128 ? 1 : 0;
    case BmpLayout::Palette8:
    case BmpLayout::Rle8:
        return ((qRed(c) + 25) / 51) * 36 + ((qGreen(c) + 25) / 51) * 6 + (qBlue(c) + 25) / 51;
    case BmpLayout::Gray8:
        return qGray(c);
    default:
        return nearest(palette, c);
    }
}

int expand(int value, int bits) { return (value * 255 + ((1 << bits) - 1) / 2) / ((1 << bits) - 1); }

int alphaAt(BmpLayout layout, int x, int width)
{
    if (layout == BmpLayout::ZeroAlpha32)
        return 0;
    if (layout != BmpLayout::Alpha32)
        return 255;
    if (x < width / 3)
        return 0;
    return x < 2 * width / 3 ? 128 : 255;
}

QRgb overWhite(QRgb c, int alpha)
{
    auto mix = [alpha](int v) { return (v * alpha + 127) / 255 + 255 - alpha; };
    return qRgb(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c)));
}

// What a bitmap's headers say about its pixels.
struct Format {
    int width = 0;
    int height = 0;
    int bits = 24;
    quint32 compression = 0;  // BI_RGB
    quint32 masks[4] = {0, 0, 0, 0};
    int infoSize = 40;
    bool topDown = false;
    std::vector<QRgb> palette;
};

Format formatOf(BmpLayout layout, int width, int height, const BmpOptions& options)
{
    Format f;
    f.width = width;
    f.height = height;
    f.palette = options.palette.empty() ? paletteFor(layout) : options.palette;
    switch (layout) {
    case BmpLayout::Palette1:
        f.bits = 1;
        break;
    case BmpLayout::Palette4:
        f.bits = 4;
        break;
    case BmpLayout::Palette8:
    case BmpLayout::Gray8:
        f.bits = 8;
        break;
    case BmpLayout::Rle4:
        f.bits = 4;
        f.compression = 2;
        break;
    case BmpLayout::Rle8:
        f.bits = 8;
        f.compression = 1;
        break;
    case BmpLayout::Rgb555:
        f.bits = 16;
        break;
    case BmpLayout::Rgb565:
        f.bits = 16;
        f.compression = 3;
        f.masks[0] = 0xf800;
        f.masks[1] = 0x07e0;
        f.masks[2] = 0x001f;
        break;
    case BmpLayout::Rgb24:
        break;
    case BmpLayout::Rgb32:
        f.bits = 32;
        break;
    case BmpLayout::Bitfields32:
        // Red in the low byte: an order a reader only gets right through the masks.
        f.bits = 32;
        f.compression = 3;
        f.infoSize = 108;
        f.masks[0] = 0x000000ff;
        f.masks[1] = 0x0000ff00;
        f.masks[2] = 0x00ff0000;
        break;
    case BmpLayout::Alpha32:
    case BmpLayout::ZeroAlpha32:
        f.bits = 32;
        f.compression = 3;
        f.infoSize = 124;
        f.masks[0] = 0x00ff0000;
        f.masks[1] = 0x0000ff00;
        f.masks[2] = 0x000000ff;
        f.masks[3] = 0xff000000;
        break;
    }
    if (options.infoHeaderSize != 0)
        f.infoSize = options.infoHeaderSize;
    const bool core = f.infoSize == 12;
    if (core && (f.compression != 0 || f.bits == 16 || f.bits == 32))
        qFatal("a core header holds no compression: palettes and 24 bits only");
    if (f.palette.size() > (f.bits <= 8 ? size_t(1) << f.bits : 0))
        qFatal("%zu colours for %d bits", f.palette.size(), f.bits);
    // RLE bitmaps are always bottom-up; a core header's height has no sign.
    f.topDown = options.topDown && f.compression != 1 && f.compression != 2 && !core;
    return f;
}

// Everything before the pixel data: file header, info header, masks and palette.
QByteArray headers(const Format& f, quint32 dataSize)
{
    const bool core = f.infoSize == 12;
    const bool masksAfterHeader = f.infoSize == 40 && f.compression == 3;
    const quint32 paletteOffset = 14 + quint32(f.infoSize) + (masksAfterHeader ? 12 : 0);
    const quint32 dataOffset = paletteOffset + quint32(f.palette.size()) * (core ? 3 : 4);
    QByteArray bytes;
    bytes += "BM";
    put32(bytes, dataOffset + dataSize);
    put32(bytes, 0);
    put32(bytes, dataOffset);
    put32(bytes, quint32(f.infoSize));
    if (core) {
        put16(bytes, quint16(f.width));
        put16(bytes, quint16(f.height));
        put16(bytes, 1);
        put16(bytes, quint16(f.bits));
    } else {
        put32(bytes, quint32(f.width));
        put32(bytes, quint32(f.topDown ? -f.height : f.height));
        put16(bytes, 1);
        put16(bytes, quint16(f.bits));
        put32(bytes, f.compression);
        put32(bytes, dataSize);
        put32(bytes, 2835);
        put32(bytes, 2835);
        put32(bytes, quint32(f.palette.size()));
        put32(bytes, 0);
    }
    if (f.infoSize == 52 || f.infoSize == 56)
        for (int i = 0; i < (f.infoSize - 40) / 4; ++i)  // red, green, blue (and alpha)
            put32(bytes, f.masks[i]);
    if (f.infoSize >= 108) {
        for (quint32 m : f.masks)
            put32(bytes, m);
        put32(bytes, 0x73524742);                 // 'sRGB'
        bytes.append(QByteArray(36 + 12, '\0'));  // end points and gamma, unused for sRGB
    }
    if (f.infoSize >= 124) {
        put32(bytes, 4);  // LCS_GM_IMAGES
        put32(bytes, 0);
        put32(bytes, 0);
        put32(bytes, 0);
    }
    if (masksAfterHeader)
        for (int i = 0; i < 3; ++i)
            put32(bytes, f.masks[i]);
    for (QRgb c : f.palette) {
        bytes.append(char(qBlue(c)));
        bytes.append(char(qGreen(c)));
        bytes.append(char(qRed(c)));
        if (!core)
            bytes.append('\0');
    }
    Q_ASSERT(quint32(bytes.size()) == dataOffset);
    return bytes;
}

}  // namespace

QImage colourBlocks(int width, int height, int block, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    const int columns = (width + block - 1) / block;
    const int rows = (height + block - 1) / block;
    std::vector<QRgb> colours(size_t(columns) * rows);
    for (QRgb& c : colours)
        c = 0xff000000 | random.bounded(0x1000000u);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = colours[size_t(y / block) * columns + x / block];
    }
    return image;
}

BmpFile makeBmp(const QImage& content, BmpLayout layout, BmpOptions options)
{
    const QImage source = content.convertToFormat(QImage::Format_RGB32);
    const int width = source.width();
    const int height = source.height();
    const Format format = formatOf(layout, width, height, options);
    const std::vector<QRgb>& palette = format.palette;
    const bool ownPalette = options.palette.empty();
    const int bits = format.bits;
    const bool rle = format.compression == 1 || format.compression == 2;

    // Pixel data, row by row in file order, and the picture it stands for.
    QImage expected(width, height, QImage::Format_RGB32);
    const int stride = ((width * bits + 31) / 32) * 4;
    QByteArray data;
    for (int i = 0; i < height; ++i) {
        const int y = format.topDown ? i : height - 1 - i;
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* shown = reinterpret_cast<QRgb*>(expected.scanLine(y));
        QByteArray row(stride, '\0');
        auto* out = reinterpret_cast<uchar*>(row.data());
        std::vector<int> indices(width);
        for (int x = 0; x < width; ++x) {
            const QRgb c = in[x];
            if (!palette.empty()) {
                const int index = ownPalette ? paletteIndex(layout, palette, c) : nearest(palette, c);
                indices[x] = index;
                shown[x] = palette[index];
                if (bits == 8)
                    out[x] = uchar(index);
                else if (bits == 4)
                    out[x / 2] |= uchar(index << ((x % 2) ? 0 : 4));
                else
                    out[x / 8] |= uchar(index << (7 - x % 8));
            } else if (layout == BmpLayout::Rgb555) {
                const int r = qRed(c) >> 3, g = qGreen(c) >> 3, b = qBlue(c) >> 3;
                const quint16 v = quint16((r << 10) | (g << 5) | b);
                qToLittleEndian(v, out + 2 * x);
                shown[x] = qRgb(expand(r, 5), expand(g, 5), expand(b, 5));
            } else if (layout == BmpLayout::Rgb565) {
                const int r = qRed(c) >> 3, g = qGreen(c) >> 2, b = qBlue(c) >> 3;
                const quint16 v = quint16((r << 11) | (g << 5) | b);
                qToLittleEndian(v, out + 2 * x);
                shown[x] = qRgb(expand(r, 5), expand(g, 6), expand(b, 5));
            } else if (bits == 24) {
                out[3 * x] = uchar(qBlue(c));
                out[3 * x + 1] = uchar(qGreen(c));
                out[3 * x + 2] = uchar(qRed(c));
                shown[x] = c;
            } else {
                const int alpha = alphaAt(layout, x, width);
                quint32 v = 0;
                if (layout == BmpLayout::Bitfields32)
                    v = quint32(qRed(c)) | quint32(qGreen(c)) << 8 | quint32(qBlue(c)) << 16;
                else
                    v = quint32(qBlue(c)) | quint32(qGreen(c)) << 8 | quint32(qRed(c)) << 16
                        | quint32(layout == BmpLayout::Rgb32 ? 0 : alpha) << 24;
                qToLittleEndian(v, out + 4 * x);
                shown[x] = layout == BmpLayout::Alpha32 ? overWhite(c, alpha) : c;
            }
        }
        if (!rle) {
            data += row;
            continue;
        }
        // Encoded runs only, each at most 255 pixels; then end of line.
        for (int x = 0; x < width;) {
            int run = 1;
            while (x + run < width && run < 255 && indices[x + run] == indices[x])
                ++run;
            data.append(char(run));
            data.append(char(format.compression == 1 ? indices[x] : (indices[x] << 4) | indices[x]));
            x += run;
        }
        data.append('\0');
        data.append('\0');
    }
    if (rle) {
        data.chop(2);
        data.append('\0');
        data.append('\1');  // end of bitmap
    }
    return {headers(format, quint32(data.size())) + data, expected};
}

QByteArray bmpAroundData(BmpLayout layout, int width, int height, const QByteArray& data, const BmpOptions& options)
{
    return headers(formatOf(layout, width, height, options), quint32(data.size())) + data;
}

QByteArray bmpHeaderOnly(int width, int height)
{
    const quint32 stride = quint32(((qint64(width) * 24 + 31) / 32) * 4);
    return headers(formatOf(BmpLayout::Rgb24, width, height, {}), stride * quint32(height));
}

BmpHeader parseBmpHeader(const QByteArray& bytes)
{
    BmpHeader h;
    if (bytes.size() < 54 || !bytes.startsWith("BM"))
        return h;
    h.fileSize = get32(bytes, 2);
    h.dataOffset = get32(bytes, 10);
    h.infoSize = get32(bytes, 14);
    h.width = qint32(get32(bytes, 18));
    h.height = qint32(get32(bytes, 22));
    h.planes = get16(bytes, 26);
    h.bitCount = get16(bytes, 28);
    h.compression = get32(bytes, 30);
    h.colorsUsed = get32(bytes, 46);
    h.valid = true;
    return h;
}

QImage decodePlainBmp(const QByteArray& bytes)
{
    const BmpHeader h = parseBmpHeader(bytes);
    if (!h.valid || h.infoSize < 40 || h.planes != 1 || h.compression != 0 || h.width <= 0 || h.height == 0
        || (h.bitCount != 8 && h.bitCount != 24))
        return {};
    const int width = h.width;
    const int height = h.height < 0 ? -h.height : h.height;
    const qint64 stride = ((qint64(width) * h.bitCount + 31) / 32) * 4;
    if (qint64(h.dataOffset) + stride * height > bytes.size())
        return {};
    std::vector<QRgb> palette;
    if (h.bitCount == 8) {
        const quint32 count = h.colorsUsed == 0 ? 256 : h.colorsUsed;
        const qint64 at = 14 + qint64(h.infoSize);
        if (count > 256 || at + 4 * qint64(count) > h.dataOffset)
            return {};
        for (quint32 i = 0; i < count; ++i) {
            const auto* p = reinterpret_cast<const uchar*>(bytes.constData()) + at + 4 * i;
            palette.push_back(qRgb(p[2], p[1], p[0]));
        }
    }
    QImage picture(width, height, QImage::Format_RGB32);
    for (int i = 0; i < height; ++i) {
        const int y = h.height < 0 ? i : height - 1 - i;
        const auto* in = reinterpret_cast<const uchar*>(bytes.constData()) + h.dataOffset + i * stride;
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            if (h.bitCount == 24) {
                out[x] = qRgb(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
            } else {
                if (in[x] >= palette.size())
                    return {};
                out[x] = palette[in[x]];
            }
        }
    }
    return picture;
}

}  // namespace pelk::test
