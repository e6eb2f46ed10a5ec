#pragma once

#include "platform/real/bmp/bmp_header.h"

#include <QImage>

// The program's bitmap reader: every coding parseBmp knows, into one picture that the
// preview shows and the encoder converts.
namespace pelk {

// A palette index past the palette's last colour shows as black.
inline constexpr QRgb bmpMissingColour = 0xff000000;

// Pixels that run-length data skips have no colour of their own: they are transparent,
// and show as transparency does, over white.
inline constexpr QRgb bmpSkippedColour = 0xffffffff;

// The picture of a bitmap with this layout, its data's extent already checked
// (checkBitmap): Format_Indexed8 for palette rows, else Format_RGB32, a declared alpha
// channel composed over white (one left zero throughout is no alpha: many writers do
// that). Every pixel is written. Null when the picture cannot be allocated or the data
// does not hold it after all.
QImage decodeBmp(QByteArrayView bytes, const BmpLayout& layout);

}  // namespace pelk
