#pragma once

#include <QtGlobal>

// How much of a picture file this program will take on, in one place: every reader and
// the encoder refuse a file beyond these before anything is decoded.
namespace pelk {

// The largest picture accepted, in pixels. Ordinary large photos (and 100-megapixel
// scans) must load; a file declaring more is refused before it is decoded.
inline constexpr qint64 maxPicturePixels = 120'000'000;

// A read may hold the picture plus the decoder's own working memory, at most this much:
// a 100-megapixel picture still fits, progressive JPEG included, with room to spare for
// the conversion that follows under a process limit of 1.5 GiB.
inline constexpr qint64 maxDecodeBytes = qint64(1) << 30;

// More scans than this is no encoder's doing: libjpeg-turbo's own tools refuse them too.
inline constexpr int maxJpegScans = 500;

}  // namespace pelk
