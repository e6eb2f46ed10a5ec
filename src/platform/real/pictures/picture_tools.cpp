#include "platform/real/pictures/picture_tools.h"

#include "platform/real/pictures/picture_limits.h"

#include <QImageReader>

namespace pelk {

void allowLargePictures()
{
    const int neededMiB = int(maxPicturePixels * 4 / (1024 * 1024)) + 1;
    const int current = QImageReader::allocationLimit();
    if (current != 0 && current < neededMiB)
        QImageReader::setAllocationLimit(neededMiB);
}

Transparency transparencyOf(const QImage& picture)
{
    if (!picture.hasAlphaChannel() || picture.isNull())
        return Transparency::None;
    bool seeThrough = false;  // some alpha below 255
    bool visible = false;     // some alpha above 0
    const auto see = [&](int alpha) {
        seeThrough |= alpha != 255;
        visible |= alpha != 0;
        return seeThrough && visible;  // the answer is known
    };
    if (picture.format() == QImage::Format_Indexed8) {
        const QList<QRgb> table = picture.colorTable();
        for (int y = 0; y < picture.height(); ++y) {
            const uchar* line = picture.constScanLine(y);
            for (int x = 0; x < picture.width(); ++x)
                if (line[x] < table.size() && see(qAlpha(table[line[x]])))
                    return Transparency::Some;
        }
    } else {
        const QImage argb =
            picture.format() == QImage::Format_ARGB32 ? picture : picture.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < argb.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
            for (int x = 0; x < argb.width(); ++x)
                if (see(qAlpha(line[x])))
                    return Transparency::Some;
        }
    }
    if (!seeThrough)
        return Transparency::None;
    return visible ? Transparency::Some : Transparency::All;
}

QImage flattenOnWhite(const QImage& picture)
{
    if (!picture.hasAlphaChannel())
        return picture.convertToFormat(QImage::Format_RGB32);
    // Premultiplied colour plus the uncovered share of white is "source over white".
    QImage out = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return out;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = line[x];
            const int white = 255 - qAlpha(p);
            line[x] = qRgb(qRed(p) + white, qGreen(p) + white, qBlue(p) + white);
        }
    }
    // Every pixel is now opaque, so the premultiplied data reads as plain RGB32.
    out.reinterpretAsFormat(QImage::Format_RGB32);
    return out;
}

}  // namespace pelk
