#include "platform/real/jpeg/jpeg_exif.h"

#include <cstring>

namespace pelk {
namespace {

QImageIOHandler::Transformations transformationOf(int orientation)
{
    switch (orientation) {
    case 2:
        return QImageIOHandler::TransformationMirror;
    case 3:
        return QImageIOHandler::TransformationRotate180;
    case 4:
        return QImageIOHandler::TransformationFlip;
    case 5:
        return QImageIOHandler::TransformationFlipAndRotate90;
    case 6:
        return QImageIOHandler::TransformationRotate90;
    case 7:
        return QImageIOHandler::TransformationMirrorAndRotate90;
    case 8:
        return QImageIOHandler::TransformationRotate270;
    default:
        return QImageIOHandler::TransformationNone;
    }
}

int tiffOrientation(const uchar* tiff, qsizetype size)
{
    if (size < 8)
        return 0;
    bool little;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        little = true;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        little = false;
    else
        return 0;
    const auto u16 = [&](qsizetype at) { return little ? tiff[at] | tiff[at + 1] << 8 : tiff[at] << 8 | tiff[at + 1]; };
    const auto u32 = [&](qsizetype at) {
        return little ? quint32(u16(at)) | quint32(u16(at + 2)) << 16 : quint32(u16(at)) << 16 | quint32(u16(at + 2));
    };
    if (u16(2) != 42)
        return 0;
    const qsizetype directory = qsizetype(u32(4));
    if (directory > size - 2)
        return 0;
    const int entries = u16(directory);
    for (int i = 0; i < entries; ++i) {
        const qsizetype entry = directory + 2 + 12 * qsizetype(i);
        if (entry > size - 12)
            return 0;
        if (u16(entry) != 0x0112)
            continue;
        // One SHORT, left-justified in the value field.
        const int value = u16(entry + 8);
        return u16(entry + 2) == 3 && u32(entry + 4) == 1 && value >= 1 && value <= 8 ? value : 0;
    }
    return 0;
}

// The EXIF orientation (1..8) in the first Exif segment before the first scan, or 0 when
// there is none or it cannot be read. Read from the bytes rather than saved by libjpeg,
// which would keep a copy of every such segment however many a file holds.
int exifOrientation(QByteArrayView jpeg)
{
    const auto* b = reinterpret_cast<const uchar*>(jpeg.data());
    const qsizetype size = jpeg.size();
    if (size < 4 || b[0] != 0xff || b[1] != 0xd8)
        return 0;
    qsizetype pos = 2;
    while (pos < size) {
        // Stray bytes before a marker are stepped over, as libjpeg steps over them.
        while (pos < size && b[pos] != 0xff)
            ++pos;
        while (pos < size && b[pos] == 0xff)
            ++pos;
        if (pos >= size)
            return 0;
        const int marker = b[pos++];
        if (marker == 0xda || marker == 0xd9 || marker == 0x00)
            return 0;
        if ((marker >= 0xd0 && marker <= 0xd7) || marker == 0x01)
            continue;
        if (pos > size - 2)
            return 0;
        const qsizetype length = b[pos] << 8 | b[pos + 1];
        if (length < 2 || length > size - pos)
            return 0;
        if (marker == 0xe1 && length >= 2 + 6 && std::memcmp(b + pos + 2, "Exif\0\0", 6) == 0)
            return tiffOrientation(b + pos + 8, length - 8);
        pos += length;
    }
    return 0;
}

}  // namespace

QImageIOHandler::Transformations exifTurn(QByteArrayView jpeg) { return transformationOf(exifOrientation(jpeg)); }

}  // namespace pelk
