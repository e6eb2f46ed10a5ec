#include "platform/real/picture_service.h"

#include "platform/real/bmp_format.h"
#include "platform/real/picture_reader.h"
#include "platform/real/picture_tools.h"
#include "platform/real/replacing_file.h"
#include "platform/real/written_previews.h"
#include "window/failure.h"

#include <QFileInfo>

namespace pelk {
namespace {

QImage read(const QString& path, QSize box)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        throw Failure(FailureKind::FileNotFound, path);
    // A damaged file is refused, not shown in part: its conversion would pass off what
    // could be decoded as the whole picture.
    PictureRead result = readPicture(path, box);
    switch (result.problem) {
    case ReadProblem::None:
        return std::move(result.picture);
    case ReadProblem::Unreadable:
        throw Failure(FailureKind::ReadFailed, result.reason);
    case ReadProblem::TooLarge:
        throw Failure(FailureKind::TooLarge, result.reason);
    case ReadProblem::NotAPicture:
    case ReadProblem::Damaged:
        break;
    }
    throw Failure(FailureKind::NotAPicture, result.reason);
}

// The layout written: 24-bit for a true-colour picture, an 8-bit palette for a
// palette picture, both of which every viewer opens. Transparency is composed over
// white: a bitmap has none, and Qt's writer would drop alpha and leave the hidden
// colour (black for a transparent GIF) showing.
QImage bitmapLayout(const QImage& picture)
{
    switch (picture.format()) {
    case QImage::Format_Indexed8:
        if (transparencyOf(picture) == Transparency::None)
            return picture;  // written as 8-bit; its unused palette alpha is dropped
        return flattenOnWhite(picture);
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        if (transparencyOf(picture) == Transparency::None)
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

RealPictureService::RealPictureService(WrittenPreviews* previews) : previews_(previews) { allowLargePictures(); }

QImage RealPictureService::load(const QString& path)
{
    // The same unchanged file gives the same picture: the press reloads the source it
    // has just shown, and a 48-megapixel bitmap takes a while to read again.
    const FileStamp stamp = fileStamp(path);
    if (path == lastPath_ && stamp.sameVersion(lastStamp_))
        return last_;
    QImage picture = read(path, {});
    lastPath_ = path;
    lastStamp_ = stamp;
    last_ = picture;
    return picture;
}

QImage RealPictureService::loadForDisplay(const QString& path, QSize box)
{
    if (previews_) {
        if (std::optional<QImage> preview = previews_->take(path, box))
            return *std::move(preview);
    }
    return read(path, box);
}

void RealPictureService::saveBitmap(const QImage& picture, const QString& path)
{
    if (picture.isNull())
        throw Failure(FailureKind::WriteFailed, path);
    const QImage bitmap = bitmapLayout(picture);
    if (bitmap.isNull())  // the converted copy could not be allocated
        throw Failure(FailureKind::WriteFailed, path);
    // The temporary file replaces the target only on commit; a failure removes it.
    ReplacingFile file(path);
    if (!file.open())
        throw Failure(FailureKind::WriteFailed, file.errorString());
    if (!(bitmap.format() == QImage::Format_RGB32 ? writeBitmap24(bitmap, file.device())
                                                  : bitmap.save(&file.device(), "BMP")))
        throw Failure(FailureKind::WriteFailed, path);
    if (!file.commit())
        throw Failure(FailureKind::WriteFailed, file.errorString());
}

}  // namespace pelk
