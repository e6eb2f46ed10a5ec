#include "platform/real/jpeg/jpeg_decoder.h"

#include "platform/real/bmp/bmp_writer.h"
#include "platform/real/jpeg/block_preview.h"
#include "platform/real/jpeg/jpeg_exif.h"
#include "platform/real/jpeg/jpeg_source.h"
#include "platform/real/jpeg/libjpeg_support.h"
#include "platform/real/pictures/picture_memory.h"

#include <QTransform>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include <jerror.h>

namespace pelk {
namespace {

// As Qt's readers apply a transformation, so a turned JPEG shows as it does elsewhere.
// Null when the turned copy cannot be allocated.
QImage turned(QImage picture, QImageIOHandler::Transformations turn)
{
    if (turn == QImageIOHandler::TransformationNone)
        return picture;
    if (turn == QImageIOHandler::TransformationRotate270)
        return picture.transformed(QTransform().rotate(270));
    picture = std::move(picture).mirrored(turn & QImageIOHandler::TransformationMirror,
                                          turn & QImageIOHandler::TransformationFlip);
    if (turn & QImageIOHandler::TransformationRotate90)
        return picture.transformed(QTransform().rotate(90));
    return picture;
}

// Nothing with a destructor lives in these frames: longjmp may land here.
bool readHeader(jpeg_decompress_struct* cinfo, LibjpegErrors* errors, PieceSource* source)
{
    if (setjmp(errors->jump))
        return false;
    jpeg_create_decompress(cinfo);
    cinfo->src = &source->pub;
    jpeg_read_header(cinfo, TRUE);  // refuses a file without a picture by an error
    return true;
}

// How a decode ended. Kept a plain value: the frames that longjmp may land in hold nothing
// with a destructor, so the problem is made of it only once back out of them.
enum class Outcome { Done, Stopped, NoMemory, Cancelled };

Problem tooLarge(const char* what) { return {FailureKind::TooLarge, QString::fromLatin1(what)}; }

// The error libjpeg stopped with; a file it ran out of memory for is too large.
Problem libjpegError(const jpeg_decompress_struct* cinfo, const LibjpegErrors& errors, const QString& otherwise)
{
    if (cinfo->err->msg_code == JERR_OUT_OF_MEMORY)
        return {FailureKind::TooLarge, QString::fromLocal8Bit(errors.error)};
    return {FailureKind::NotAPicture, otherwise + QString::fromLocal8Bit(errors.error)};
}

Problem damagedBy(const char* warning)
{
    return {FailureKind::NotAPicture, QStringLiteral("damaged: ") + QString::fromLocal8Bit(warning)};
}

MaybeProblem problemOf(Outcome outcome, const jpeg_decompress_struct* cinfo, const LibjpegErrors& errors)
{
    switch (outcome) {
    case Outcome::Done:
        return std::nullopt;
    case Outcome::Cancelled:
        return Problem{FailureKind::ReadFailed, QStringLiteral("cancelled")};
    case Outcome::NoMemory:
        return tooLarge("cannot allocate the picture");
    case Outcome::Stopped:
        break;
    }
    if (errors.warned)
        return damagedBy(errors.warning);
    // An error past a readable header: the picture's own data are broken.
    return libjpegError(cinfo, errors, QStringLiteral("damaged: "));
}

// The resolution, as Qt's reader keeps it; none when the file gives none.
std::optional<QSize> dotsPerMeter(const jpeg_decompress_struct* cinfo)
{
    if (cinfo->density_unit != 1 && cinfo->density_unit != 2)
        return std::nullopt;
    if (cinfo->X_density == 0 || cinfo->Y_density == 0)
        return std::nullopt;
    const double perMeter = cinfo->density_unit == 1 ? 100.0 / 2.54 : 100.0;
    return QSize(qRound(cinfo->X_density * perMeter), qRound(cinfo->Y_density * perMeter));
}

// `picture` is the caller's, allocated here once the output size is known.
Outcome decodeRows(jpeg_decompress_struct* cinfo, LibjpegErrors* errors, QSize box, QImage* picture,
                   const std::atomic<bool>* cancel, BlockFeed* feed)
{
    if (setjmp(errors->jump))
        return Outcome::Stopped;
    errors->stopOnWarning = true;
    const bool gray = cinfo->jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : rgb32Space;
    cinfo->scale_num = 1;
    cinfo->scale_denom = unsigned(jpegReduction(QSize(int(cinfo->image_width), int(cinfo->image_height)), box));
    jpeg_start_decompress(cinfo);
    if (feed->blocks)
        takeBlocksFrom(cinfo, feed);
    *picture = allocatePicture(int(cinfo->output_width), int(cinfo->output_height),
                               gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (picture->isNull())
        return Outcome::NoMemory;
    while (cinfo->output_scanline < cinfo->output_height) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return Outcome::Cancelled;
        JSAMPROW rows[16];
        const JDIMENSION first = cinfo->output_scanline;
        const int n = int(std::min<JDIMENSION>(16, cinfo->output_height - first));
        for (int i = 0; i < n; ++i)
            rows[i] = picture->scanLine(int(first) + i);
        const JDIMENSION read = jpeg_read_scanlines(cinfo, rows, JDIMENSION(n));
        if (!cmyk)
            continue;
        // Inverted CMYK, as Adobe writes it (and Qt's reader reads it), four bytes
        // turned into one QRgb in place.
        for (JDIMENSION y = 0; y < read; ++y) {
            uchar* in = rows[y];
            auto* out = reinterpret_cast<QRgb*>(in);
            for (JDIMENSION x = 0; x < cinfo->output_width; ++x, in += 4) {
                const int k = in[3];
                out[x] = qRgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
            }
        }
    }
    jpeg_finish_decompress(cinfo);  // reads on to the end marker: a warning there counts too
    if (const std::optional<QSize> dpm = dotsPerMeter(cinfo)) {
        picture->setDotsPerMeterX(dpm->width());
        picture->setDotsPerMeterY(dpm->height());
    }
    return Outcome::Done;
}

// The whole colour picture straight into the rows of a 24-bit bottom-up bitmap file,
// with the bytes writeBitmap24 writes of the decoded picture.
// `freshDpm` is the resolution a new picture has, which a decoded one keeps when the file
// gives none.
Outcome decodeBitmapRows(jpeg_decompress_struct* cinfo, LibjpegErrors* errors, QByteArray* file, QSize freshDpm,
                         const std::atomic<bool>* cancel)
{
    if (setjmp(errors->jump))
        return Outcome::Stopped;
    errors->stopOnWarning = true;
    cinfo->out_color_space = JCS_EXT_BGR;
    cinfo->scale_num = 1;
    cinfo->scale_denom = 1;
    jpeg_start_decompress(cinfo);
    const int width = int(cinfo->output_width), height = int(cinfo->output_height);
    const qint64 stride = bmpStride(width, 24);
    if (54 + stride * height > std::min<qint64>(0xffffffffLL, std::numeric_limits<qsizetype>::max()))
        return Outcome::NoMemory;
    try {
        *file = QByteArray(qsizetype(54 + stride * height), Qt::Uninitialized);
    } catch (const std::bad_alloc&) {
        return Outcome::NoMemory;
    }
    const QSize dpm = dotsPerMeter(cinfo).value_or(freshDpm);
    uchar header[54];
    bitmap24Header(header, width, height, dpm.width(), dpm.height());
    uchar* data = reinterpret_cast<uchar*>(file->data());
    std::memcpy(data, header, sizeof header);
    while (cinfo->output_scanline < cinfo->output_height) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return Outcome::Cancelled;
        JSAMPROW rows[16];
        const int first = int(cinfo->output_scanline);
        const int n = std::min(16, height - first);
        for (int i = 0; i < n; ++i) {
            rows[i] = data + 54 + (height - 1 - (first + i)) * stride;
            std::memset(rows[i] + 3 * qint64(width), 0, size_t(stride - 3 * qint64(width)));  // the padding
        }
        jpeg_read_scanlines(cinfo, rows, JDIMENSION(n));
    }
    jpeg_finish_decompress(cinfo);
    return Outcome::Done;
}

}  // namespace

int jpegReduction(QSize size, QSize box)
{
    if (!box.isValid())
        return 1;
    for (int denom = 8; denom > 1; denom /= 2) {
        if ((qint64(size.width()) + denom - 1) / denom >= box.width()
            && (qint64(size.height()) + denom - 1) / denom >= box.height())
            return denom;
    }
    return 1;
}

struct JpegDecoder::State {
    Decompressor cinfo{new jpeg_decompress_struct{}};
    LibjpegErrors errors;
    PieceSource source{};
    BlockFeed feed;
    bool decoded = false;
};

JpegDecoder::JpegDecoder(QByteArrayView bytes) : state_(std::make_unique<State>())
{
    readFrom(state_->source, bytes);
    readHeaderOf(exifTurn(bytes));
}

JpegDecoder::JpegDecoder(QByteArrayView header, const BlockTarget& blocks) : state_(std::make_unique<State>())
{
    readFrom(state_->source, header);
    state_->feed.blocks = &blocks;
    readHeaderOf(QImageIOHandler::TransformationNone);
}

void JpegDecoder::readHeaderOf(QImageIOHandler::Transformations turn)
{
    jpeg_decompress_struct* cinfo = state_->cinfo.get();
    LibjpegErrors* errors = &state_->errors;
    cinfo->err = useErrors(*errors);
    if (!readHeader(cinfo, errors, &state_->source)) {
        header_.problem = libjpegError(cinfo, *errors, QStringLiteral("not a picture: "));
        return;
    }
    header_.size = QSize(int(cinfo->image_width), int(cinfo->image_height));
    header_.turn = turn;
    switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
        header_.bytesPerPixel = 1;
        break;
    case JCS_YCbCr:
    case JCS_RGB:
    case JCS_CMYK:
    case JCS_YCCK:
        header_.bytesPerPixel = 4;
        break;
    default:
        header_.problem = Problem{FailureKind::NotAPicture,
                                  QStringLiteral("not a picture: a JPEG of %1 components in no known colour space")
                                      .arg(cinfo->num_components)};
        break;
    }
    if (errors->warned)
        header_.problem = damagedBy(errors->warning);
}

JpegDecoder::~JpegDecoder() = default;

bool JpegDecoder::decodesToBitmap24() const
{
    const J_COLOR_SPACE space = state_->cinfo->jpeg_color_space;
    return !header_.problem && header_.turn == QImageIOHandler::TransformationNone
        && (space == JCS_YCbCr || space == JCS_RGB);
}

PictureRead JpegDecoder::decodeToBitmap24(QByteArray* file, const std::atomic<bool>* cancel)
{
    if (!decodesToBitmap24() || state_->decoded)
        return {{}, Problem{FailureKind::NotAPicture, QStringLiteral("not decodable straight to a bitmap")}};
    state_->decoded = true;
    const QImage fresh(1, 1, QImage::Format_RGB32);
    const Outcome outcome = decodeBitmapRows(state_->cinfo.get(), &state_->errors, file,
                                             QSize(fresh.dotsPerMeterX(), fresh.dotsPerMeterY()), cancel);
    return {{}, problemOf(outcome, state_->cinfo.get(), state_->errors)};
}

PictureRead JpegDecoder::decode(QSize box, const std::atomic<bool>* cancel)
{
    if (header_.problem)
        return {{}, header_.problem};
    if (state_->decoded)
        return {{}, Problem{FailureKind::NotAPicture, QStringLiteral("the JPEG was decoded already")}};
    state_->decoded = true;
    // The reduced size applies before the turn: a quarter-turned picture covers the box
    // turned with it.
    if (box.isValid() && (header_.turn & QImageIOHandler::TransformationRotate90))
        box.transpose();
    QImage picture;
    const Outcome outcome = decodeRows(state_->cinfo.get(), &state_->errors, box, &picture, cancel, &state_->feed);
    if (MaybeProblem problem = problemOf(outcome, state_->cinfo.get(), state_->errors))
        return {{}, std::move(problem)};
    picture = turned(std::move(picture), header_.turn);
    if (picture.isNull())
        return {{}, tooLarge("cannot allocate the turned picture")};
    return {std::move(picture), std::nullopt};
}

}  // namespace pelk
