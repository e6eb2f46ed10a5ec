#pragma once

#include <QImage>
#include <QtGlobal>

// What the picture service and the JPEG encoder share: how large a picture may be,
// and how a picture with transparency is made opaque.
namespace pelk {

// The largest picture accepted, in pixels. Ordinary large photos (and 100-megapixel
// scans) must load; a file declaring more is refused before it is decoded.
inline constexpr qint64 maxPicturePixels = 120'000'000;

// Qt refuses pictures above 128 MB by default, which rules out ordinary 48-megapixel
// photos. Raises its limit so that a 32-bit picture of maxPicturePixels fits, never
// lowering a limit that is already larger (or off).
void allowLargePictures();

// True when the picture has an alpha channel and some pixel is not fully opaque.
bool hasTransparency(const QImage& picture);

// The picture composed over white, without alpha (Format_RGB32). Neither a bitmap
// nor a JPEG keeps transparency, and white is what a viewer shows behind it.
QImage flattenOnWhite(const QImage& picture);

}  // namespace pelk
