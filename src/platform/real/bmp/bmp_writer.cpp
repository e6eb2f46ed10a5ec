#include "platform/real/bmp/bmp_writer.h"

#include "platform/real/pictures/picture_tools.h"

#include <QtEndian>
#include <algorithm>

namespace pelk {
namespace {

// The layout a bitmap file is written in: 24-bit for a true-colour picture, an 8-bit palette for a
// palette picture, both of which every viewer opens. Transparency is composed over
// white: a bitmap has none, and Qt's writer would drop alpha and leave the hidden
// colour (black for a transparent GIF) showing.
QImage bitmapLayout(const QImage& picture)
{
    switch (picture.format()) {
    case QImage::Format_Indexed8:
        if (transparencyOf(picture) == Transparency::None)
            return picture;  // written as 8-bit; its unused palette alpha is dropped
        return flattenOnWhite(picture);
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        if (transparencyOf(picture) == Transparency::None)
            return picture.convertToFormat(QImage::Format_Indexed8);
        return flattenOnWhite(picture);
    case QImage::Format_Grayscale8:
        return picture.convertToFormat(QImage::Format_Indexed8);  // a gray palette
    case QImage::Format_RGB32:
        return picture;  // written as 24-bit
    default:
        return flattenOnWhite(picture);
    }
}

// Qt's writer copies an 8-bit picture's rows whole, the padding at their ends included,
// which neither a decoder nor a conversion writes: those bytes would carry into the file
// whatever the memory held before. They are cleared first (a shared picture is copied
// only when it holds something there).
QImage withClearPadding(QImage picture)
{
    const qsizetype used = (qsizetype(picture.width()) * picture.depth() + 7) / 8;
    const qsizetype padding = picture.bytesPerLine() - used;
    if (padding <= 0)
        return picture;
    const auto clear = [&](int y) {
        const uchar* end = picture.constScanLine(y) + used;
        return std::all_of(end, end + padding, [](uchar b) { return b == 0; });
    };
    int y = 0;
    while (y < picture.height() && clear(y))
        ++y;
    for (; y < picture.height(); ++y)
        std::fill_n(picture.scanLine(y) + used, padding, uchar(0));
    return picture;
}

// Blocks of about this many bytes: large enough that system calls cost nothing, small
// enough to stay in the caches while the rows are converted.
constexpr qint64 blockBytes = 2 * 1024 * 1024;

}  // namespace

void bitmap24Header(uchar (&h)[54], int width, int height, int dotsPerMeterX, int dotsPerMeterY)
{
    const qint64 dataSize = bmpStride(width, 24) * height;
    std::fill(std::begin(h), std::end(h), uchar(0));
    h[0] = 'B';
    h[1] = 'M';
    qToLittleEndian<quint32>(quint32(54 + dataSize), h + 2);
    qToLittleEndian<quint32>(54, h + 10);
    qToLittleEndian<quint32>(40, h + 14);
    qToLittleEndian<qint32>(width, h + 18);
    qToLittleEndian<qint32>(height, h + 22);  // bottom-up, as every reader expects
    qToLittleEndian<quint16>(1, h + 26);
    qToLittleEndian<quint16>(24, h + 28);
    qToLittleEndian<quint32>(0, h + 30);  // BI_RGB
    qToLittleEndian<quint32>(quint32(dataSize), h + 34);
    qToLittleEndian<qint32>(dotsPerMeterX, h + 38);
    qToLittleEndian<qint32>(dotsPerMeterY, h + 42);
}

bool writeBitmap24(const QImage& picture, QIODevice& out)
{
    if (picture.format() != QImage::Format_RGB32 || picture.isNull())
        return false;
    const int width = picture.width(), height = picture.height();
    const qint64 stride = bmpStride(width, 24);
    const qint64 dataSize = stride * height;
    if (54 + dataSize > 0xffffffffLL)
        return false;  // the file header cannot hold the size

    uchar h[54];
    bitmap24Header(h, width, height, picture.dotsPerMeterX(), picture.dotsPerMeterY());
    if (out.write(reinterpret_cast<const char*>(h), sizeof h) != qint64(sizeof h))
        return false;

    const int rowsPerBlock = int(std::clamp<qint64>(blockBytes / stride, 1, height));
    std::vector<uchar> block(size_t(rowsPerBlock * stride), 0);
    for (int done = 0; done < height;) {
        const int n = std::min(rowsPerBlock, height - done);
        for (int k = 0; k < n; ++k) {
            const auto* src = reinterpret_cast<const QRgb*>(picture.constScanLine(height - 1 - (done + k)));
            uchar* dst = block.data() + k * stride;
            for (int x = 0; x < width; ++x, dst += 3) {
                dst[0] = uchar(src[x]);
                dst[1] = uchar(src[x] >> 8);
                dst[2] = uchar(src[x] >> 16);
            }
        }
        if (out.write(reinterpret_cast<const char*>(block.data()), n * stride) != n * stride)
            return false;
        done += n;
    }
    return true;
}

bool writeBitmapFile(const QImage& picture, QIODevice& out)
{
    const QImage bitmap = bitmapLayout(picture);
    if (bitmap.isNull())  // the converted copy could not be allocated
        return false;
    if (bitmap.format() == QImage::Format_RGB32)
        return writeBitmap24(bitmap, out);
    return withClearPadding(bitmap).save(&out, "BMP");
}

}  // namespace pelk
