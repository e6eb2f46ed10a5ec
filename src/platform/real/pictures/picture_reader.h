#pragma once

#include "window/failure.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QtGlobal>

#include <atomic>

// The one way this program reads a picture file, for the preview and for the encoder
// alike, so that what is shown is what gets converted. The kind of file is taken from
// its content, never its name (the name only chooses the conversion).
namespace pelk {

enum class ReadProblem {
    None,
    Unreadable,   // the file cannot be opened or read
    NotAFile,     // a FIFO, socket or device: never opened for reading
    Foreign,      // reached through a link another user planted in a shared folder
    NotAPicture,  // no reader knows the content
    Damaged,      // cut short or corrupt: refused rather than shown in part
    TooLarge,     // more pixels or decoder memory than the budget allows
};

struct PictureRead {
    QImage picture;
    ReadProblem problem = ReadProblem::None;
    QString reason;  // for the log
};

// Reads the picture at the path, turned as its EXIF orientation says. A valid `box`
// allows a smaller picture that still covers it (for a preview). Never returns undefined
// pixels: what a bitmap leaves out (skips in its run-length data, indices past its
// palette) takes the colour its reader gives it (bmp_reader.h).
PictureRead readPicture(const QString& path, QSize box = {});

// The failure the picture service reports for a read that gave no picture.
Failure failureOf(const PictureRead& read);

// Whether the bytes are a JPEG's, to readPicture.
bool startsAsJpeg(QByteArrayView bytes);

// A JPEG's bytes read as readPicture reads a JPEG file. A set `cancel` ends the decode early
// (as Unreadable).
PictureRead readJpeg(QByteArrayView bytes, QSize box = {}, const std::atomic<bool>* cancel = nullptr);

// A JPEG's bytes, read as readJpeg reads them, made into the bitmap file the picture
// service writes of the picture (a colour one straight into the file's rows, without a
// picture between). No picture comes back; `bitmap` holds the file when nothing failed.
PictureRead readJpegAsBitmap(QByteArrayView bytes, QByteArray* bitmap, const std::atomic<bool>* cancel = nullptr);

}  // namespace pelk
