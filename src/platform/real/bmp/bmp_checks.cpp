#include "platform/real/bmp/bmp_checks.h"

#include "platform/real/bmp/bmp_header.h"
#include "platform/real/bmp/run_lengths.h"
#include "platform/real/pictures/picture_limits.h"

#include <climits>

namespace pelk {

FileCheck checkBitmap(QByteArrayView bytes)
{
    const BmpParse parse = parseBmp(bytes);
    if (parse.problem)
        return {parse.problem, {}, 0};
    const BmpLayout& layout = parse.layout;
    FileCheck check;
    check.declared = QSize(int(qMin<qint64>(layout.width, INT_MAX)), int(qMin<qint64>(layout.height, INT_MAX)));
    if (layout.width * layout.height > maxPicturePixels)
        return check;  // refused for its size before anything else is looked at

    if (layout.dataOffset >= bytes.size())
        return damaged("the pixel data lies past the end of the file");
    const auto* data = reinterpret_cast<const uchar*>(bytes.data()) + layout.dataOffset;
    const qint64 size = bytes.size() - layout.dataOffset;
    if (layout.coding == BmpCoding::RunLength8 || layout.coding == BmpCoding::RunLength4) {
        const char* wrong = walkRunLengths(data, size, layout.width, layout.height,
                                           layout.coding == BmpCoding::RunLength4, [](qint64, qint64, int) {});
        if (wrong)
            return damaged(wrong);
        return check;
    }
    // Some writers leave out the last row's padding.
    const qint64 needed = bmpStride(layout.width, layout.bitsPerPixel) * (layout.height - 1)
        + (layout.width * layout.bitsPerPixel + 7) / 8;
    if (size < needed)
        return damaged("the pixel rows end before the header says they do");
    return check;
}

}  // namespace pelk
