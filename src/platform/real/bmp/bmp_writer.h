#pragma once

#include "platform/real/bmp/bmp_header.h"

#include <QIODevice>
#include <QImage>

// Writing bitmap files: the 24-bit layout in large blocks, and palette pictures.
namespace pelk {

// The 54-byte header of a 24-bit bottom-up bitmap (file header and BITMAPINFOHEADER), as
// writeBitmap24 writes it. The data must fit in 4 GiB.
void bitmap24Header(uchar (&h)[54], int width, int height, int dotsPerMeterX, int dotsPerMeterY);

// Writes an opaque Format_RGB32 picture as a 24-bit bottom-up bitmap, the layout Qt's
// writer makes of it, in large blocks.
bool writeBitmap24(const QImage& picture, QIODevice& out);

// Writes any picture as a bitmap file every viewer opens: 24-bit for true colour, an 8-bit
// palette for palette and gray pictures, transparency composed over white. False when
// the picture is null or cannot be converted or written.
bool writeBitmapFile(const QImage& picture, QIODevice& out);

}  // namespace pelk
