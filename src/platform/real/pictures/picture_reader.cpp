#include "platform/real/pictures/picture_reader.h"

#include "platform/real/bmp/bmp_checks.h"
#include "platform/real/bmp/bmp_header.h"
#include "platform/real/bmp/bmp_reader.h"
#include "platform/real/bmp/bmp_rows.h"
#include "platform/real/bmp/bmp_writer.h"
#include "platform/real/files/bounded_read.h"
#include "platform/real/files/regular_file.h"
#include "platform/real/jpeg/jpeg_checks.h"
#include "platform/real/jpeg/jpeg_decoder.h"
#include "platform/real/pictures/picture_checks.h"
#include "platform/real/pictures/picture_limits.h"
#include "platform/real/pictures/picture_tools.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <algorithm>

namespace pelk {
namespace {

qint64 area(QSize size) { return size.isValid() ? qint64(size.width()) * size.height() : 0; }

PictureRead refused(FailureKind kind, const QString& reason) { return {{}, Problem{kind, reason}}; }

PictureRead cannotAllocate() { return refused(FailureKind::TooLarge, QStringLiteral("cannot allocate the picture")); }

// The budget, from the headers alone: nothing is decoded before it is known to fit. A size
// beyond it is the clearer thing to tell, even for a file that is also damaged. `size` is
// what the decoder reports, `check` what the file's structure declares; a quarter turn
// holds the picture twice while it turns.
MaybeProblem refusal(QSize size, const FileCheck& check, int bitsPerPixel, bool quarterTurned)
{
    const qint64 pixels = qMax(area(size), area(check.declared));
    if (pixels > maxPicturePixels)
        return Problem{FailureKind::TooLarge, QStringLiteral("%1 pixels").arg(pixels)};
    if (check.problem)
        return check.problem;
    const qint64 pictureBytes = pixels * qMax(8, bitsPerPixel) / 8 * (quarterTurned ? 2 : 1);
    if (pictureBytes + check.decoderBytes > maxDecodeBytes)
        return Problem{FailureKind::TooLarge,
                       QStringLiteral("%1 bytes to decode").arg(pictureBytes + check.decoderBytes)};
    return std::nullopt;
}

// What refuses a JPEG before any pixel is decoded.
MaybeProblem jpegRefusal(QByteArrayView bytes, const JpegHeader& header)
{
    return refusal(header.size, checkJpeg(bytes), 8 * header.bytesPerPixel,
                   header.turn & QImageIOHandler::TransformationRotate90);
}

bool startsAsBitmap(QByteArrayView bytes) { return bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M'; }

// Every bitmap goes through the program's own reader, for the preview and the encoder
// alike. A plain 24- or 32-bit one is read straight from its file (reduced, for a
// preview of a large one), as the encoder streams it: the same pixels either way.
PictureRead readBitmap(const QString& path, QByteArrayView bytes, QSize box)
{
    const BmpParse parse = parseBmp(bytes);
    if (parse.problem)
        return {{}, parse.problem};
    const BmpLayout& layout = parse.layout;
    const bool palette = layout.coding == BmpCoding::Palette;
    if (MaybeProblem problem = refusal({}, checkBitmap(bytes), palette ? 8 : 32, false))
        return {{}, std::move(problem)};

    if (const std::optional<PlainBitmapFile> plain = openPlainBitmap(path)) {
        QImage picture = box.isValid() ? readPlainBitmapReduced(*plain->file, plain->layout, box)
                                       : readPlainBitmap(*plain->file, plain->layout);
        if (!picture.isNull())
            return {picture, std::nullopt};
    }
    QImage picture = decodeBmp(bytes, layout);
    if (picture.isNull())
        return cannotAllocate();
    if (layout.dotsPerMeterX > 0 && layout.dotsPerMeterY > 0) {
        picture.setDotsPerMeterX(layout.dotsPerMeterX);
        picture.setDotsPerMeterY(layout.dotsPerMeterY);
    }
    return {picture, std::nullopt};
}

// Qt's GIF reader mislays the rows of an interlaced picture three or four rows high: the
// third row is lost under the second. Such a first picture, lying on its screen, is read
// from a copy marked as not interlaced, so that its rows arrive in the file's order
// (0, 2, 1, 3); rows 1 and 2 are then swapped back. False when this does not apply.
bool needsStraightening(const GifFrame& frame)
{
    const QRect screen(QPoint(0, 0), frame.screen);
    return frame.interlaced && (frame.area.height() == 3 || frame.area.height() == 4) && screen.contains(frame.area);
}

bool readStraightened(QByteArrayView bytes, const GifFrame& frame, QImage* picture)
{
    QByteArray copy = bytes.toByteArray();
    copy[frame.flagsAt] = char(uchar(copy[frame.flagsAt]) & ~0x40);
    QBuffer device(&copy);
    if (!device.open(QIODevice::ReadOnly))
        return false;
    QImageReader reader(&device, "gif");
    if (!reader.read(picture) || picture->isNull() || picture->depth() < 8)
        return false;
    const QRect area = frame.area.intersected(picture->rect());
    if (area != frame.area)
        return false;
    const qsizetype bytesPerPixel = picture->depth() / 8;
    uchar* second = picture->scanLine(area.top() + 1) + area.left() * bytesPerPixel;
    uchar* third = picture->scanLine(area.top() + 2) + area.left() * bytesPerPixel;
    std::swap_ranges(second, second + area.width() * bytesPerPixel, third);
    return true;
}

// What Qt's reader says of a file before it decodes it.
struct QtHeader {
    QSize size;
    QImage::Format layout = QImage::Format_Invalid;
    int bitsPerPixel = 32;
    bool turned = false;
};

QtHeader headerOf(const QImageReader& reader)
{
    // A reader may leave the layout unset (any value) for a file it cannot make sense of:
    // only a known layout is taken, anything else counts as unknown.
    QtHeader header;
    header.size = reader.size();
    const int reported = int(reader.imageFormat());
    if (reported > QImage::Format_Invalid && reported < QImage::NImageFormats)
        header.layout = QImage::Format(reported);
    if (header.layout != QImage::Format_Invalid)
        header.bitsPerPixel = QImage::toPixelFormat(header.layout).bitsPerPixel();
    header.turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    return header;
}

// A picture only shown in a box may be decoded at reduced size, covering the box. The
// scaled size applies before the EXIF rotation, so a quarter-turned picture is measured
// against the turned box. Whether the reader was told to scale.
bool scaleToBox(QImageReader& reader, const QtHeader& header, QSize box)
{
    const QSize size = header.size;
    if (!box.isValid() || !size.isValid() || !reader.supportsOption(QImageIOHandler::ScaledSize))
        return false;
    if (header.turned)
        box.transpose();
    if (size.width() <= box.width() || size.height() <= box.height())
        return false;
    reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatioByExpanding));
    return true;
}

// Any other picture, by Qt's readers, the file's structure checked first where Qt's reader
// would take a damaged one.
PictureRead readByQt(QFile& file, QByteArrayView bytes, QSize box)
{
    QImageReader reader(&file);
    reader.setAutoTransform(true);  // EXIF orientation, as every current viewer does
    const QByteArray format = reader.format();
    if (format.isEmpty())
        return refused(FailureKind::NotAPicture, QStringLiteral("not a picture: ") + reader.errorString());
    if (format == "jpeg")  // cannot be: Qt's JPEG reader too goes by the start marker alone
        return refused(FailureKind::NotAPicture, QStringLiteral("a JPEG without its start marker"));
    FileCheck check;
    GifFrame gifFrame;
    if (format == "gif")
        check = checkGif(bytes, &gifFrame);
    const QtHeader header = headerOf(reader);
    if (MaybeProblem problem = refusal(header.size, check, header.bitsPerPixel, header.turned))
        return {{}, std::move(problem)};
    const bool scaled = scaleToBox(reader, header, box);

    // A reader handed a picture of the right size and layout fills it, and may leave
    // alone what the file does not cover: start from zeros, not from whatever the
    // allocator returns. (The GIF reader paints its own background first.)
    QImage picture;
    if (!scaled && header.size.isValid() && header.layout != QImage::Format_Invalid) {
        picture = QImage(header.size, header.layout);
        if (picture.isNull())
            return cannotAllocate();
        picture.fill(0);
    }
    if (format == "gif" && needsStraightening(gifFrame)) {
        if (!readStraightened(bytes, gifFrame, &picture))
            return refused(FailureKind::NotAPicture, QStringLiteral("the GIF could not be read"));
        return {picture, std::nullopt};
    }
    if (!reader.read(&picture) || picture.isNull()) {
        if (reader.error() == QImageReader::DeviceError)
            return refused(FailureKind::ReadFailed, reader.errorString());
        return refused(FailureKind::NotAPicture, QStringLiteral("not a picture: ") + reader.errorString());
    }
    return {picture, std::nullopt};
}

// The picture in an open file, read by its content.
PictureRead readOpenFile(QFile& file, const QString& path, QSize box)
{
    const qint64 fileSize = file.size();
    if (fileSize <= 0)
        return refused(FailureKind::NotAPicture, QStringLiteral("empty file"));

    // The structure checks walk the whole file; a mapping costs no copy. Files that
    // cannot be mapped (a pipe, a special file system) are read once into memory, one
    // byte more than measured to tell a file that grew since.
    BoundedRead copy;
    QByteArrayView bytes;
    if (const uchar* mapped = file.map(0, fileSize)) {
        bytes = QByteArrayView(mapped, fileSize);
    } else {
        copy = readBounded(file, fileSize + 1);
        if (copy.problem || copy.bytes.size() != fileSize || !file.seek(0))
            return refused(FailureKind::ReadFailed, file.errorString());
        bytes = copy.bytes;
    }
    if (startsAsJpeg(bytes))
        return readJpeg(bytes, box);
    if (startsAsBitmap(bytes))
        return readBitmap(path, bytes, box);
    return readByQt(file, bytes, box);
}

}  // namespace

bool startsAsJpeg(QByteArrayView bytes)
{
    // A start-of-image marker is what makes a file a JPEG, to Qt's readers as well.
    return bytes.size() >= 2 && uchar(bytes[0]) == 0xff && uchar(bytes[1]) == 0xd8;
}

// Every JPEG goes through the program's own decoder, on every road: whole, reduced for a
// preview, EXIF-turned, CMYK, progressive. So a damaged one is refused the same way on
// each, and nothing depends on how another reader logs or fills in what it could not read.
PictureRead readJpeg(QByteArrayView bytes, QSize box, const std::atomic<bool>* cancel)
{
    JpegDecoder decoder(bytes);
    if (MaybeProblem problem = jpegRefusal(bytes, decoder.header()))
        return {{}, std::move(problem)};
    return decoder.decode(box, cancel);
}

PictureRead readJpegAsBitmap(QByteArrayView bytes, QByteArray* bitmap, const std::atomic<bool>* cancel)
{
    JpegDecoder decoder(bytes);
    if (MaybeProblem problem = jpegRefusal(bytes, decoder.header()))
        return {{}, std::move(problem)};
    if (decoder.decodesToBitmap24())
        return decoder.decodeToBitmap24(bitmap, cancel);
    PictureRead read = decoder.decode({}, cancel);
    if (read.problem)
        return read;
    QBuffer buffer(bitmap);
    if (!buffer.open(QIODevice::WriteOnly) || !writeBitmapFile(read.picture, buffer))
        return refused(FailureKind::TooLarge, QStringLiteral("the bitmap could not be made"));
    return {};
}

PictureRead readPicture(const QString& path, QSize box)
{
    allowLargePictures();
    QFile file;
    PictureRead read;
    if (MaybeProblem problem = openFoundFile(file, path))
        read.problem = std::move(problem);
    else
        read = readOpenFile(file, path, box);
    if (read.problem)
        logged(*read.problem, path);
    return read;
}

}  // namespace pelk
