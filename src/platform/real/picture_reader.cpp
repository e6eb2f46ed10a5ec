#include "platform/real/picture_reader.h"

#include "platform/real/jpeg_reader.h"
#include "platform/real/picture_checks.h"
#include "platform/real/picture_tools.h"
#include "platform/real/plain_bitmap.h"

#include <QFile>
#include <QImageReader>

namespace pelk {
namespace {

// Qt's JPEG reader returns a picture from corrupt data and only logs libjpeg's warning;
// these are the ones that mean picture data was lost. Watched for the length of one read
// (the program has one thread), passing every message on.
class JpegDamageWatch {
public:
    JpegDamageWatch() : previous_(qInstallMessageHandler(&JpegDamageWatch::handle)) { active_ = this; }
    ~JpegDamageWatch()
    {
        qInstallMessageHandler(previous_);
        active_ = nullptr;
    }
    JpegDamageWatch(const JpegDamageWatch&) = delete;
    JpegDamageWatch& operator=(const JpegDamageWatch&) = delete;

    bool damaged() const { return damaged_; }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (active_ != nullptr && context.category != nullptr
            && qstrcmp(context.category, "qt.gui.imageio.jpeg") == 0
            && (text.contains(QLatin1String("premature end"), Qt::CaseInsensitive)
                || text.contains(QLatin1String("bad Huffman code"), Qt::CaseInsensitive)))
            active_->damaged_ = true;
        if (active_ != nullptr && active_->previous_ != nullptr)
            active_->previous_(type, context, text);
    }

    static inline JpegDamageWatch* active_ = nullptr;
    QtMessageHandler previous_;
    bool damaged_ = false;
};

qint64 area(QSize size) { return size.isValid() ? qint64(size.width()) * size.height() : 0; }

}  // namespace

PictureRead readPicture(const QString& path, QSize box)
{
    allowLargePictures();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, ReadProblem::Unreadable, file.errorString()};
    const qint64 fileSize = file.size();
    if (fileSize <= 0)
        return {{}, ReadProblem::NotAPicture, QStringLiteral("empty file")};

    // The structure checks walk the whole file; a mapping costs no copy. Files that
    // cannot be mapped (a pipe, a special file system) are read once into memory.
    QByteArray copy;
    QByteArrayView bytes;
    if (const uchar* mapped = file.map(0, fileSize)) {
        bytes = QByteArrayView(mapped, fileSize);
    } else {
        copy = file.readAll();
        if (copy.size() != fileSize || !file.seek(0))
            return {{}, ReadProblem::Unreadable, file.errorString()};
        bytes = copy;
    }

    QImageReader reader(&file);
    reader.setAutoTransform(true);  // EXIF orientation, as every current viewer does
    const QByteArray format = reader.format();
    if (format.isEmpty())
        return {{}, ReadProblem::NotAPicture, reader.errorString()};

    FileCheck check;
    if (format == "bmp")
        check = checkBitmap(bytes);
    else if (format == "jpeg")
        check = checkJpeg(bytes);
    else if (format == "gif")
        check = checkGif(bytes);

    // The budget, from the headers alone: nothing is decoded before it is known to fit.
    // A size beyond it is the clearer thing to tell, even for a file that is also damaged.
    const QSize size = reader.size();
    const qint64 pixels = qMax(area(size), area(check.declared));
    if (pixels > maxPicturePixels)
        return {{}, ReadProblem::TooLarge, QStringLiteral("%1 pixels").arg(pixels)};
    if (check.problem == FileProblem::Damaged)
        return {{}, ReadProblem::Damaged, check.reason};
    if (check.problem == FileProblem::Hostile)
        return {{}, ReadProblem::NotAPicture, check.reason};
    // Qt's JPEG reader leaves the layout unset (any value) for a file with a scan but no
    // frame: only a known layout is taken, anything else counts as unknown.
    const int reported = int(reader.imageFormat());
    const QImage::Format layout = reported > QImage::Format_Invalid && reported < QImage::NImageFormats
        ? QImage::Format(reported)
        : QImage::Format_Invalid;
    const int bitsPerPixel = layout == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(layout).bitsPerPixel();
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const qint64 pictureBytes = pixels * qMax(8, bitsPerPixel) / 8 * (turned ? 2 : 1);
    if (pictureBytes + check.decoderBytes > maxDecodeBytes)
        return {{}, ReadProblem::TooLarge,
                QStringLiteral("%1 bytes to decode").arg(pictureBytes + check.decoderBytes)};

    // A picture only shown in a box may be decoded at reduced size (JPEG decodes at
    // 1/2, 1/4 or 1/8 almost for free), covering the box. The scaled size applies before
    // the EXIF rotation, so a quarter-turned picture is measured against the turned box.
    bool scaled = false;
    if (box.isValid() && size.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        if (turned)
            box.transpose();
        if (size.width() > box.width() && size.height() > box.height()) {
            reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatioByExpanding));
            scaled = true;
        }
    }

    // The fast roads for the common files, which write every pixel themselves. Whatever
    // they do not take, or take and then find fault with, goes on to Qt's readers below,
    // which decide and report as always.
    if (format == "bmp") {
        // Read through a file of its own: Qt's reader keeps its place in `file`, and reads
        // leave no mapped pages behind to swell the memory in use.
        QFile rows(path);
        if (rows.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            if (const std::optional<PlainBitmap> plain = plainBitmapLayout(rows, maxPicturePixels)) {
                QImage picture = box.isValid() ? readPlainBitmapReduced(rows, *plain, box)
                                               : readPlainBitmap(rows, *plain);
                if (!picture.isNull())
                    return {picture, ReadProblem::None, {}};
            }
        }
    } else if (format == "jpeg" && reader.transformation() == QImageIOHandler::TransformationNone) {
        QImage picture = decodeJpeg(bytes, box, maxPicturePixels);
        if (!picture.isNull())
            return {picture, ReadProblem::None, {}};
    }

    // Qt's BMP and JPEG readers fill a picture handed to them when its size and layout
    // match, and leave alone what the file does not cover: start from zeros, not from
    // whatever the allocator returns. (The GIF reader paints its own background first.)
    QImage picture;
    if (!scaled && size.isValid() && layout != QImage::Format_Invalid) {
        picture = QImage(size, layout);
        if (picture.isNull())
            return {{}, ReadProblem::TooLarge, QStringLiteral("cannot allocate the picture")};
        picture.fill(0);
    }

    bool read = false;
    bool damagedData = false;
    if (format == "jpeg") {
        const JpegDamageWatch watch;
        read = reader.read(&picture);
        damagedData = watch.damaged();
    } else {
        read = reader.read(&picture);
    }
    if (!read || picture.isNull()) {
        if (reader.error() == QImageReader::DeviceError)
            return {{}, ReadProblem::Unreadable, reader.errorString()};
        return {{}, ReadProblem::NotAPicture, reader.errorString()};
    }
    if (damagedData)
        return {{}, ReadProblem::Damaged, QStringLiteral("corrupt JPEG data")};
    return {picture, ReadProblem::None, {}};
}

}  // namespace pelk
