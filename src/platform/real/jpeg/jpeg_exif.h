#pragma once

#include <QByteArrayView>
#include <QImageIOHandler>

namespace pelk {

// The turn a JPEG's EXIF orientation asks for: the orientation in the first Exif segment
// before the first scan, none when there is none or it cannot be read.
QImageIOHandler::Transformations exifTurn(QByteArrayView jpeg);

}  // namespace pelk
