#include "platform/real/pictures/picture_memory.h"

#include "platform/real/bmp/bmp_header.h"

#include <cstdlib>
#include <limits>

#include <sys/mman.h>

namespace pelk {
namespace {

constexpr qsizetype hugePage = 2 * 1024 * 1024;

void release(void* data) { std::free(data); }

}  // namespace

QImage allocatePicture(int width, int height, QImage::Format format)
{
    if (width <= 0 || height <= 0)
        return {};
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    const qsizetype bytesPerLine = bmpStride(width, depth);  // QImage pads its rows as a bitmap does
    if (bytesPerLine > std::numeric_limits<qsizetype>::max() / height)
        return {};
    const qsizetype size = bytesPerLine * height;
    if (size < 4 * hugePage)
        return QImage(width, height, format);
    const qsizetype rounded = (size + hugePage - 1) / hugePage * hugePage;
    void* data = std::aligned_alloc(size_t(hugePage), size_t(rounded));
    if (!data)
        return {};
    madvise(data, size_t(rounded), MADV_HUGEPAGE);  // only a hint: fine when refused
    return QImage(static_cast<uchar*>(data), width, height, bytesPerLine, format, release, data);
}

}  // namespace pelk
