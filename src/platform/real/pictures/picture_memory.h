#pragma once

#include <QImage>

namespace pelk {

// A new picture for a decoder to fill; null when the memory cannot be had. Its memory is
// not asked to be backed by huge pages: a drop then costs a 4 KiB page fault at a time,
// every time alike, where fresh huge pages made the same drop up to five times slower now
// and then (their first touch is slow on a virtual machine).
QImage allocatePicture(int width, int height, QImage::Format format);

}  // namespace pelk
