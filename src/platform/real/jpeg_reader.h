#pragma once

#include <QByteArrayView>
#include <QImage>

namespace pelk {

// Decodes a JPEG file's bytes with libjpeg-turbo straight into the picture's rows: Format_RGB32
// for colour, Format_Grayscale8 for gray, as Qt's reader gives them. With a valid `box`
// the picture is decoded at 1/2, 1/4 or 1/8 of its size, the smallest that still covers
// the box. A null image for anything this road does not take (CMYK, more than
// `maxPixels` pixels) or that libjpeg finds fault with, even a mere warning: the caller
// then goes to Qt's reader, which decides and reports as it always has.
QImage decodeJpeg(QByteArrayView bytes, QSize box, qint64 maxPixels);

}  // namespace pelk
