#pragma once

#include <QImage>
#include <QtGlobal>

// What the picture service and the JPEG encoder share: Qt's allocation limit, and how a
// picture with transparency is made opaque.
namespace pelk {

// Qt refuses pictures above 128 MB by default, which rules out ordinary 48-megapixel
// photos. Raises its limit so that a 32-bit picture of maxPicturePixels fits, never
// lowering a limit that is already larger (or off).
void allowLargePictures();

enum class Transparency {
    None,  // no alpha channel, or every pixel fully opaque
    Some,  // some pixel is not fully opaque, and not every one is invisible
    All,   // every pixel fully transparent (many 32-bit bitmaps leave their alpha zero)
};

// One pass over the pixels (for a palette picture, only the colours in use count).
Transparency transparencyOf(const QImage& picture);

// The picture composed over white, without alpha (Format_RGB32). Neither a bitmap
// nor a JPEG keeps transparency, and white is what a viewer shows behind it.
QImage flattenOnWhite(const QImage& picture);

}  // namespace pelk
