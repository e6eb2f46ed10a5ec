#pragma once

#include "platform/real/pictures/picture_checks.h"

namespace pelk {

// A Windows bitmap, from its headers and its pixel data's extent: headers the reader
// knows, every row of plain pixels there (the last row's padding may be missing), and a
// run-length stream that stays inside its rows and the picture and does not end before
// its last row. A picture over maxPicturePixels is only measured.
FileCheck checkBitmap(QByteArrayView bytes);

}  // namespace pelk
