#include "platform/real/bmp_format.h"

#include "platform/real/picture_limits.h"
#include "platform/real/picture_memory.h"
#include "platform/real/picture_tools.h"

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

}  // namespace
namespace {

// Blocks of about this many bytes: large enough that system calls cost nothing, small
// enough to stay in the caches while the rows are converted.
constexpr qint64 blockBytes = 2 * 1024 * 1024;

void toRgb32(const uchar* src, QRgb* dst, int width, int bytesPerPixel)
{
    if (bytesPerPixel == 3) {
        for (int x = 0; x < width; ++x, src += 3)
            dst[x] = 0xff000000u | (uint(src[2]) << 16) | (uint(src[1]) << 8) | src[0];
    } else {
        for (int x = 0; x < width; ++x, src += 4)
            dst[x] = 0xff000000u | (uint(src[2]) << 16) | (uint(src[1]) << 8) | src[0];
    }
}

// Reads `size` bytes at `offset`, all or nothing.
bool readAt(QFile& file, qint64 offset, uchar* data, qint64 size)
{
    if (!file.seek(offset))
        return false;
    while (size > 0) {
        const qint64 n = file.read(reinterpret_cast<char*>(data), size);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

}  // namespace

std::optional<BmpHeader> readBmpHeader(QByteArrayView bytes)
{
    const auto* b = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype size = bytes.size();
    const auto has = [size](qsizetype pos, qsizetype count) { return pos <= size - count; };
    const auto le16 = [b](qsizetype pos) { return qFromLittleEndian<quint16>(b + pos); };
    const auto le32 = [b](qsizetype pos) { return qFromLittleEndian<quint32>(b + pos); };
    if (!has(0, 18) || b[0] != 'B' || b[1] != 'M')
        return std::nullopt;
    BmpHeader h;
    h.dataOffset = le32(10);
    h.infoSize = le32(14);
    if (h.infoSize == 12) {  // OS/2 core header
        if (!has(14, 12))
            return std::nullopt;
        h.width = le16(18);
        h.height = le16(20);
        h.planes = le16(22);
        h.bitsPerPixel = le16(24);
        return h;
    }
    if (h.infoSize < 16 || !has(14, std::min<qsizetype>(h.infoSize, 40)))
        return std::nullopt;
    h.width = qint32(le32(18));
    h.height = qint32(le32(22));
    h.planes = le16(26);
    h.bitsPerPixel = le16(28);
    if (h.infoSize >= 20)
        h.compression = le32(30);
    if (h.infoSize >= 40) {
        h.dotsPerMeterX = qint32(le32(38));
        h.dotsPerMeterY = qint32(le32(42));
        h.paletteColours = le32(46);
    }
    return h;
}

std::optional<PlainBitmapFile> openPlainBitmap(const QString& path)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return std::nullopt;
    uchar bytes[maxBmpHeaderBytes];
    const qint64 got = file->read(reinterpret_cast<char*>(bytes), sizeof bytes);
    const std::optional<BmpHeader> h = got > 0 ? readBmpHeader(QByteArrayView(bytes, got)) : std::nullopt;
    // BITMAPINFOHEADER, V4 and V5 (all there); BI_RGB only: bit fields and alpha masks go
    // to Qt. 32-bit rows only with the plain header: there the fourth byte is unused, never
    // alpha.
    if (!h || (h->infoSize != 40 && h->infoSize != 108 && h->infoSize != 124) || got < 14 + qint64(h->infoSize)
        || h->planes != 1 || h->compression != 0
        || (h->bitsPerPixel != 24 && !(h->bitsPerPixel == 32 && h->infoSize == 40)) || h->width <= 0 || h->height == 0
        || h->height == INT_MIN)
        return std::nullopt;

    PlainBitmap layout;
    layout.width = int(h->width);
    layout.height = int(h->height < 0 ? -h->height : h->height);
    layout.topDown = h->height < 0;
    layout.bytesPerPixel = h->bitsPerPixel / 8;
    layout.pixelOffset = h->dataOffset;
    layout.stride = bmpStride(h->width, h->bitsPerPixel);
    layout.dotsPerMeterX = h->dotsPerMeterX;
    layout.dotsPerMeterY = h->dotsPerMeterY;
    if (qint64(layout.width) * layout.height > maxPicturePixels || h->dataOffset < 14 + h->infoSize
        || file->size() < qint64(h->dataOffset) + layout.stride * layout.height)
        return std::nullopt;
    return PlainBitmapFile{std::move(file), layout};
}

BitmapRows::BitmapRows(QFile& file, const PlainBitmap& layout) : file_(file), layout_(layout)
{
    rowsPerBlock_ = int(std::clamp<qint64>(blockBytes / layout.stride, 1, layout.height));
    block_.resize(size_t(rowsPerBlock_ * layout.stride));
}

bool BitmapRows::fill(int y)
{
    // Picture rows y .. y+n-1 lie together in the file: forwards in a top-down file,
    // backwards in the usual bottom-up one.
    const int n = std::min(rowsPerBlock_, layout_.height - y);
    const int firstFileRow = layout_.topDown ? y : layout_.height - y - n;
    if (!readAt(file_, layout_.pixelOffset + firstFileRow * layout_.stride, block_.data(), n * layout_.stride))
        return false;
    first_ = y;
    count_ = n;
    return true;
}

const uchar* BitmapRows::row(int y)
{
    if ((y < first_ || y >= first_ + count_) && !fill(y))
        return nullptr;
    const int i = y - first_;
    return block_.data() + (layout_.topDown ? i : count_ - 1 - i) * layout_.stride;
}

QImage readPlainBitmap(QFile& file, const PlainBitmap& layout)
{
    QImage picture = allocatePicture(layout.width, layout.height, QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    BitmapRows rows(file, layout);
    for (int y = 0; y < layout.height; ++y) {
        const uchar* row = rows.row(y);
        if (!row)
            return {};
        toRgb32(row, reinterpret_cast<QRgb*>(picture.scanLine(y)), layout.width, layout.bytesPerPixel);
    }
    if (layout.dotsPerMeterX > 0 && layout.dotsPerMeterY > 0) {
        picture.setDotsPerMeterX(layout.dotsPerMeterX);
        picture.setDotsPerMeterY(layout.dotsPerMeterY);
    }
    return picture;
}

QImage readPlainBitmapReduced(QFile& file, const PlainBitmap& layout, QSize box)
{
    const int factor =
        box.isEmpty() ? 1 : std::max(1, std::min(layout.width / box.width(), layout.height / box.height()));
    if (factor < 4)
        return readPlainBitmap(file, layout);  // little to gain; keep every pixel
    const int w = layout.width / factor, h = layout.height / factor;
    QImage picture(w, h, QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    // Two rows and two columns of each factor x factor block, a quarter in from its
    // edges: enough to keep fine detail from turning into noise at this scale.
    const int near = factor / 4, far = factor - 1 - factor / 4;
    const int bpp = layout.bytesPerPixel;
    std::vector<uchar> rowA(size_t(layout.stride)), rowB(size_t(layout.stride));
    auto fileRow = [&](int y, uchar* data) {
        const int fileY = layout.topDown ? y : layout.height - 1 - y;
        return readAt(file, layout.pixelOffset + fileY * layout.stride, data, layout.stride);
    };
    for (int j = 0; j < h; ++j) {
        if (!fileRow(j * factor + near, rowA.data()) || !fileRow(j * factor + far, rowB.data()))
            return {};
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(j));
        for (int i = 0; i < w; ++i) {
            const uchar* p[4] = {rowA.data() + (i * factor + near) * bpp, rowA.data() + (i * factor + far) * bpp,
                                 rowB.data() + (i * factor + near) * bpp, rowB.data() + (i * factor + far) * bpp};
            const uint b = (p[0][0] + p[1][0] + p[2][0] + p[3][0] + 2) / 4;
            const uint g = (p[0][1] + p[1][1] + p[2][1] + p[3][1] + 2) / 4;
            const uint r = (p[0][2] + p[1][2] + p[2][2] + p[3][2] + 2) / 4;
            out[i] = 0xff000000u | (r << 16) | (g << 8) | b;
        }
    }
    return picture;
}

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
    return bitmap.format() == QImage::Format_RGB32 ? writeBitmap24(bitmap, out) : bitmap.save(&out, "BMP");
}

}  // namespace pelk
