#include "platform/real/qt_picture_service.h"

#include "window/failure.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>

namespace pelk {
namespace {

QImage read(const QString& path, QSize box)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        throw Failure(FailureKind::FileNotFound, path);
    QImageReader reader(path);
    reader.setAutoTransform(true);  // EXIF orientation, as every current viewer does
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > QtPictureService::maxPixels)
        throw Failure(FailureKind::TooLarge, path);
    if (reader.format() == "bmp") {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && !bitmapDataComplete(&file))
            throw Failure(FailureKind::ReadFailed, path);
    }

    // A picture only shown in a box may be decoded at reduced size (JPEG decodes at
    // 1/2, 1/4 or 1/8 almost for free), covering the box. The scaled size applies before
    // the EXIF rotation, so a quarter-turned picture is measured against the turned box.
    if (box.isValid() && size.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            box.transpose();
        if (size.width() > box.width() && size.height() > box.height())
            reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatioByExpanding));
    }

    QImage picture = reader.read();
    if (picture.isNull()) {
        if (reader.error() == QImageReader::UnsupportedFormatError
            || reader.error() == QImageReader::InvalidDataError)
            throw Failure(FailureKind::NotAPicture, reader.errorString());
        throw Failure(FailureKind::ReadFailed, reader.errorString());
    }
    return picture;
}

// The layout written: 24-bit for a true-colour picture, an 8-bit palette for a
// palette picture, both of which every viewer opens. Transparency is composed over
// white: a bitmap has none, and Qt's writer would drop alpha and leave the hidden
// colour (black for a transparent GIF) showing.
QImage bitmapLayout(const QImage& picture)
{
    switch (picture.format()) {
    case QImage::Format_Indexed8:
        if (!hasTransparency(picture))
            return picture;  // written as 8-bit; its unused palette alpha is dropped
        return flattenOnWhite(picture);
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        if (!hasTransparency(picture))
            return picture.convertToFormat(QImage::Format_Indexed8);
        return flattenOnWhite(picture);
    case QImage::Format_Grayscale8:
        return picture.convertToFormat(QImage::Format_Indexed8);  // a gray palette
    case QImage::Format_RGB32:
        return picture;  // written as 24-bit
    default:
        return flattenOnWhite(picture);
    }
}

}  // namespace

QtPictureService::QtPictureService() { allowLargePictures(); }

QImage QtPictureService::load(const QString& path) { return read(path, {}); }

QImage QtPictureService::loadForDisplay(const QString& path, QSize box) { return read(path, box); }

void QtPictureService::saveBitmap(const QImage& picture, const QString& path)
{
    if (picture.isNull())
        throw Failure(FailureKind::WriteFailed, path);
    const QImage bitmap = bitmapLayout(picture);
    if (bitmap.isNull())  // the converted copy could not be allocated
        throw Failure(FailureKind::WriteFailed, path);
    // The temporary file replaces the target only on commit; a failure removes it.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(FailureKind::WriteFailed, file.errorString());
    if (!bitmap.save(&file, "BMP"))
        throw Failure(FailureKind::WriteFailed, path);
    if (!file.commit())
        throw Failure(FailureKind::WriteFailed, file.errorString());
}

}  // namespace pelk
