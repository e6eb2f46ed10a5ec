#pragma once

#include "platform/real/pictures/picture_checks.h"

#include <QByteArrayView>

namespace pelk {

// A JPEG: well-formed segments from SOI to EOI, at most maxJpegScans scans. A progressive
// JPEG keeps every coefficient of the picture while it decodes: two bytes a sample.
// It refuses only what libjpeg would refuse too (jpeg_acceptance.h): stray bytes before a
// marker are stepped over, and Huffman tables are not asked for (a motion-JPEG frame has
// none of its own).
FileCheck checkJpeg(QByteArrayView bytes);

}  // namespace pelk
