#include "platform/real/picture_service.h"

#include "platform/real/ahead/bitmap_ahead.h"
#include "platform/real/ahead/written_previews.h"
#include "platform/real/bmp/bmp_writer.h"
#include "platform/real/files/bounded_read.h"
#include "platform/real/files/regular_file.h"
#include "platform/real/files/replacing_file.h"
#include "platform/real/jpeg/jpeg_decoder.h"
#include "platform/real/pictures/picture_reader.h"
#include "platform/real/pictures/picture_tools.h"
#include "window/failure.h"

#include <QFile>

namespace pelk {
namespace {

// The picture, or the failure the handlers are told of (readPicture has logged it).
QImage pictureOf(PictureRead read)
{
    if (read.problem)
        throw read.problem->failure();
    return std::move(read.picture);
}

// The picture decoded from a file's bytes, a refusal logged with the file's path.
QImage pictureOf(PictureRead read, const QString& path)
{
    if (read.problem)
        logged(*read.problem, path);
    return pictureOf(std::move(read));
}

QImage read(const QString& path, QSize box)
{
    existingFile(path);
    // A damaged file is refused, not shown in part: its conversion would pass off what
    // could be decoded as the whole picture.
    return pictureOf(readPicture(path, box));
}

// The bytes of the open file as they are now, which the press converts, however the file
// changes after.
QByteArray wholeFile(QFile& file, const QString& path)
{
    const qint64 size = file.size();
    const BoundedRead read = readBounded(file, size + 1);
    if (read.problem || read.bytes.size() != size)
        throw logged(Problem{FailureKind::ReadFailed, file.errorString()}, path).failure();
    return read.bytes;
}

// Marks a picture that stands for a larger one, so that it is never written as if it were
// the file's picture.
const QString reducedMark = QStringLiteral("pelk-reduced");

}  // namespace

RealPictureService::RealPictureService(WrittenPreviews* previews, HeldPicture* held)
    : ahead_(std::make_unique<BitmapAhead>()), previews_(previews), held_(held ? held : &ownHeld_)
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
    existingFile(path);
    QFile file;
    if (const MaybeProblem problem = openFoundFile(file, path))
        throw Failure(logged(*problem, path).kind, path);
    const QByteArray start = file.peek(2);
    if (!startsAsJpeg(start))
        return load(path);
    const QByteArray bytes = wholeFile(file, path);
    file.close();
    QSize stored;
    bool turned = false;
    {
        const JpegDecoder decoder(bytes);
        stored = decoder.header().size;
        turned = decoder.header().turn & QImageIOHandler::TransformationRotate90;
    }
    if (jpegReduction(stored, turned ? box.transposed() : box) == 1)
        return pictureOf(readJpeg(bytes), path);

    // The full decode on the other core while this one makes the preview.
    ahead_->start(bytes);
    PictureRead read = readJpeg(bytes, box);
    if (read.problem)
        ahead_->cancel();
    QImage shown = pictureOf(std::move(read), path);
    shown.setText(reducedMark, QStringLiteral("1"));
    shownKey_ = shown.cacheKey();
    return shown;
}

QImage RealPictureService::load(const QString& path)
{
    // The same unchanged file gives the same picture: the press reloads the source it
    // has just shown, and a 48-megapixel bitmap takes a while to read again.
    if (std::optional<QImage> held = held_->of(path))
        return *std::move(held);
    const FileStamp stamp = fileStamp(path);
    QImage picture = read(path, {});
    held_->hold(path, stamp, picture);
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
            logged(Problem{failure.kind(), failure.detail()}, path + QStringLiteral(" (the bitmap made ahead)"));
            throw Failure(FailureKind::WriteFailed, failure.detail());
        }
    }
    // The temporary file replaces the target only on commit; a failure removes it.
    ReplacingFile file(path);
    if (const MaybeProblem problem = file.open())
        throw problem->failure();
    if (!(made ? file.writeAll(*made) : writeBitmapFile(picture, file.device())))
        throw Failure(logged(file.writeProblem(), path).kind, path);
    if (const MaybeProblem problem = file.commit())
        throw problem->failure();
    if (made)
        ++savesFromAhead_;
}

}  // namespace pelk
