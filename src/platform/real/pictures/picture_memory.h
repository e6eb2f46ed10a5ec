#pragma once

#include <QImage>

namespace pelk {

// A new picture for a decoder to fill. Large pictures get memory that the system may
// back with huge pages: touching a fresh 4 KiB page at a time costs a page fault each,
// which on a 48-megapixel picture takes longer than decoding it. Null when the memory
// cannot be had.
QImage allocatePicture(int width, int height, QImage::Format format);

}  // namespace pelk
