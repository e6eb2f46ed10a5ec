#pragma once

#include "platform/real/problem.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QtGlobal>

#include <atomic>

// The one way this program reads a picture file, for the preview and for the encoder
// alike, so that what is shown is what gets converted. The kind of file is taken from
// its content, never its name (the name only chooses the conversion).
namespace pelk {

// A picture, or why there is none: ReadFailed, NotAFile, ForeignFile, NotAPicture (no
// reader knows the content, or it is cut short or corrupt and refused rather than shown
// in part) or TooLarge (more pixels or decoder memory than the budget allows).
struct PictureRead {
    QImage picture;
    MaybeProblem problem;
};

// Reads the picture at the path, turned as its EXIF orientation says. A valid `box`
// allows a smaller picture that still covers it (for a preview). Never returns undefined
// pixels: what a bitmap leaves out (skips in its run-length data, indices past its
// palette) takes the colour its reader gives it (bmp_reader.h).
// A picture refused is logged with the path.
PictureRead readPicture(const QString& path, QSize box = {});

// Whether the bytes are a JPEG's, to readPicture.
bool startsAsJpeg(QByteArrayView bytes);

// A JPEG's bytes read as readPicture reads a JPEG file. A set `cancel` ends the decode early
// (as ReadFailed).
PictureRead readJpeg(QByteArrayView bytes, QSize box = {}, const std::atomic<bool>* cancel = nullptr);

// A JPEG's bytes, read as readJpeg reads them, made into the bitmap file the picture
// service writes of the picture (a colour one straight into the file's rows, without a
// picture between). No picture comes back; `bitmap` holds the file when nothing failed.
PictureRead readJpegAsBitmap(QByteArrayView bytes, QByteArray* bitmap, const std::atomic<bool>* cancel = nullptr);

}  // namespace pelk
