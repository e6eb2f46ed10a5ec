#include "platform/real/bmp/bmp_rows.h"

#include "platform/real/bmp/bmp_header.h"
#include "platform/real/files/bounded_read.h"
#include "platform/real/files/regular_file.h"
#include "platform/real/pictures/picture_limits.h"
#include "platform/real/pictures/picture_memory.h"

#include <algorithm>

namespace pelk {
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

std::optional<PlainBitmapFile> openPlainBitmap(const QString& path)
{
    auto file = std::make_unique<QFile>();
    if (openRegularFile(*file, path, QIODevice::ReadOnly | QIODevice::Unbuffered))
        return std::nullopt;
    // The headers, and the masks after the shortest header that has them.
    const BoundedRead headers = readBounded(*file, 14 + 124);
    if (headers.problem || headers.bytes.isEmpty())
        return std::nullopt;
    const BmpParse parse = parseBmp(headers.bytes);
    const BmpLayout& h = parse.layout;
    const auto is = [&h](int i, int shift) {
        return h.channels[size_t(i)].shift == shift && h.channels[size_t(i)].bits == 8;
    };
    const bool plain32 =
        h.coding == BmpCoding::BitFields && h.bitsPerPixel == 32 && is(0, 16) && is(1, 8) && is(2, 0) && !h.alpha;
    if (parse.problem || (h.coding != BmpCoding::Rgb24 && !plain32))
        return std::nullopt;

    PlainBitmap layout;
    layout.width = int(h.width);
    layout.height = int(h.height);
    layout.topDown = h.topDown;
    layout.bytesPerPixel = h.bitsPerPixel / 8;
    layout.pixelOffset = h.dataOffset;
    layout.stride = bmpStride(h.width, h.bitsPerPixel);
    layout.dotsPerMeterX = h.dotsPerMeterX;
    layout.dotsPerMeterY = h.dotsPerMeterY;
    if (h.width * h.height > maxPicturePixels || file->size() < h.dataOffset + layout.stride * layout.height)
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

}  // namespace pelk
