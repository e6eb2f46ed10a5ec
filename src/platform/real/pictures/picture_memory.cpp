#include "platform/real/pictures/picture_memory.h"

#include "platform/real/bmp/bmp_header.h"

#include <limits>

namespace pelk {

QImage allocatePicture(int width, int height, QImage::Format format)
{
    if (width <= 0 || height <= 0)
        return {};
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    const qsizetype bytesPerLine = bmpStride(width, depth);  // QImage pads its rows as a bitmap does
    if (bytesPerLine > std::numeric_limits<qsizetype>::max() / height)
        return {};
    return QImage(width, height, format);
}

}  // namespace pelk
