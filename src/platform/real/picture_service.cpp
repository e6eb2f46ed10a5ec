#include "platform/real/picture_service.h"

#include "platform/real/ahead/bitmap_ahead.h"
#include "platform/real/ahead/written_previews.h"
#include "platform/real/bmp/bmp_writer.h"
#include "platform/real/files/regular_file.h"
#include "platform/real/files/replacing_file.h"
#include "platform/real/jpeg/jpeg_decoder.h"
#include "platform/real/pictures/picture_reader.h"
#include "platform/real/pictures/picture_tools.h"
#include "window/failure.h"

#include <QFile>
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
    if (result.problem != ReadProblem::None)
        throw failureOf(result);
    return std::move(result.picture);
}

// Marks a picture that stands for a larger one, so that it is never written as if it were
// the file's picture.
const QString reducedMark = QStringLiteral("pelk-reduced");

}  // namespace

RealPictureService::RealPictureService(WrittenPreviews* previews)
    : ahead_(std::make_unique<BitmapAhead>()), previews_(previews)
{
    allowLargePictures();
}

RealPictureService::~RealPictureService() = default;

void RealPictureService::waitUntilIdle() { ahead_->waitUntilIdle(); }

QImage RealPictureService::loadShownFirst(const QString& path, QSize box)
{
    // A new drop supersedes what was made for the last one.
    ahead_->cancel();
    shownKey_ = 0;
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        throw Failure(FailureKind::FileNotFound, path);
    QFile file;
    if (const OpenProblem problem = openRegularFile(file, path); problem != OpenProblem::None)
        throw Failure(problem == OpenProblem::NotAFile      ? FailureKind::NotAFile
                          : problem == OpenProblem::Foreign ? FailureKind::ForeignFile
                                                            : FailureKind::ReadFailed,
                      path);
    const QByteArray start = file.peek(2);
    if (!startsAsJpeg(start))
        return load(path);

    // The bytes as they are now, which the press converts, however the file changes after.
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size())
        throw Failure(FailureKind::ReadFailed, file.errorString());
    file.close();
    QSize stored;
    bool turned = false;
    {
        const JpegDecoder decoder(bytes);
        stored = decoder.header().size;
        turned = decoder.header().turn & QImageIOHandler::TransformationRotate90;
    }
    if (jpegReduction(stored, turned ? box.transposed() : box) == 1) {
        PictureRead whole = readJpeg(bytes);
        if (whole.problem != ReadProblem::None)
            throw failureOf(whole);
        return std::move(whole.picture);
    }

    // The full decode on the other core while this one makes the preview.
    ahead_->start(bytes);
    PictureRead shown = readJpeg(bytes, box);
    if (shown.problem != ReadProblem::None) {
        ahead_->cancel();
        throw failureOf(shown);
    }
    shown.picture.setText(reducedMark, QStringLiteral("1"));
    shownKey_ = shown.picture.cacheKey();
    return std::move(shown.picture);
}

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
    // A reduced picture is written only as the full one it stands for, and only while that
    // is still held: the bytes made in the background, waited for when need be.
    const QByteArray* made = nullptr;
    if (!picture.text(reducedMark).isEmpty()) {
        if (shownKey_ == 0 || picture.cacheKey() != shownKey_)
            throw Failure(FailureKind::WriteFailed, QStringLiteral("the full picture is no longer held"));
        try {
            made = &ahead_->bytes();
        } catch (const Failure& failure) {
            throw Failure(FailureKind::WriteFailed, failure.detail());
        }
    }
    // The temporary file replaces the target only on commit; a failure removes it.
    ReplacingFile file(path);
    if (!file.open())
        throw Failure(file.problem(), file.errorString());
    if (!(made ? file.device().write(*made) == made->size() : writeBitmapFile(picture, file.device())))
        throw Failure(file.writeProblem(), path);
    if (!file.commit())
        throw Failure(file.problem(), file.errorString());
    if (made)
        ++savesFromAhead_;
}

}  // namespace pelk
