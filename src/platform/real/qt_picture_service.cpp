#include "platform/real/qt_picture_service.h"

#include "window/failure.h"

#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>

namespace pelk {
namespace {

QImage read(const QString& path, QSize scaleTo)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        throw Failure(FailureKind::FileNotFound, path);
    QImageReader reader(path);
    reader.setAutoTransform(true);  // EXIF orientation, as every current viewer does
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > QtPictureService::maxPixels)
        throw Failure(FailureKind::TooLarge, path);
    if (scaleTo.isValid() && size.isValid() && size.width() > scaleTo.width()
        && size.height() > scaleTo.height() && reader.supportsOption(QImageIOHandler::ScaledSize))
        reader.setScaledSize(size.scaled(scaleTo, Qt::KeepAspectRatioByExpanding));
    QImage picture = reader.read();
    if (picture.isNull()) {
        if (reader.error() == QImageReader::UnsupportedFormatError
            || reader.error() == QImageReader::InvalidDataError)
            throw Failure(FailureKind::NotAPicture, reader.errorString());
        throw Failure(FailureKind::ReadFailed, reader.errorString());
    }
    return picture;
}

}  // namespace

QtPictureService::QtPictureService()
{
    // Qt refuses pictures above 128 MB by default, which rules out ordinary 48-megapixel
    // photos. Allow a 32-bit picture of maxPixels, never less than Qt already allows.
    const int neededMiB = int(maxPixels * 4 / (1024 * 1024)) + 1;
    if (QImageReader::allocationLimit() != 0 && QImageReader::allocationLimit() < neededMiB)
        QImageReader::setAllocationLimit(neededMiB);
}

QImage QtPictureService::load(const QString& path) { return read(path, {}); }

QImage QtPictureService::loadForDisplay(const QString& path, QSize box) { return read(path, box); }

void QtPictureService::saveBitmap(const QImage& picture, const QString& path)
{
    QSaveFile file(path);
    if (picture.isNull() || !file.open(QIODevice::WriteOnly))
        throw Failure(FailureKind::WriteFailed, path);
    if (!picture.save(&file, "BMP") || !file.commit())
        throw Failure(FailureKind::WriteFailed, path);
}

}  // namespace pelk
