#include "platform/real/jpeg/libjpeg_encoder.h"

#include "platform/real/bmp/bmp_rows.h"
#include "platform/real/files/replacing_file.h"
#include "platform/real/jpeg/libjpeg_support.h"
#include "platform/real/pictures/picture_reader.h"
#include "platform/real/pictures/picture_tools.h"

#include "platform/real/ahead/written_previews.h"
#include "platform/real/files/file_stamp.h"
#include "platform/real/jpeg/jpeg_decoder.h"

#include <QBuffer>
#include <QFile>
#include <QtDebug>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <jerror.h>

namespace pelk {
namespace {

// Results of SavetoJPEG; every non-zero one means nothing was written.
enum Result : std::int16_t {
    Written = 0,
    SourceUnreadable = 1,  // missing, unreadable or not a bitmap
    SourceTooLarge = 2,
    DestinationUnwritable = 3,
    EncodeFailed = 4,  // libjpeg or the write of the data failed
};

// Compressed data goes to the temporary file through a buffer of our own.
struct Destination {
    jpeg_destination_mgr pub;
    QIODevice* device;
    std::vector<JOCTET> buffer;
};

void startDestination(j_compress_ptr cinfo)
{
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    d->pub.next_output_byte = d->buffer.data();
    d->pub.free_in_buffer = d->buffer.size();
}

boolean flushDestination(j_compress_ptr cinfo)
{
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    const qint64 size = qint64(d->buffer.size());
    if (d->device->write(reinterpret_cast<const char*>(d->buffer.data()), size) != size)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    startDestination(cinfo);
    return TRUE;
}

void finishDestination(j_compress_ptr cinfo)
{
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    const qint64 size = qint64(d->buffer.size() - d->pub.free_in_buffer);
    if (size > 0 && d->device->write(reinterpret_cast<const char*>(d->buffer.data()), size) != size)
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

// Pixels as libjpeg will read them: straight from the picture's own rows, or from the
// file's rows when `rows` is set.
struct Pixels {
    const uchar* bits;
    qsizetype stride;
    int width;
    int height;
    int components;
    J_COLOR_SPACE space;
    BitmapRows* rows = nullptr;
};

bool compress(jpeg_compress_struct* cinfo, LibjpegErrors* errors, Destination* destination, const Pixels* pixels,
              int quality, bool progressive, const std::atomic<bool>* cancel)
{
    // Nothing with a destructor lives in this frame: longjmp may land here.
    if (setjmp(errors->jump))
        return false;
    jpeg_create_compress(cinfo);
    cinfo->dest = &destination->pub;
    cinfo->image_width = JDIMENSION(pixels->width);
    cinfo->image_height = JDIMENSION(pixels->height);
    cinfo->input_components = pixels->components;
    cinfo->in_color_space = pixels->space;
    jpeg_set_defaults(cinfo);  // YCbCr with 4:2:0 for colour input
    // Baseline tables: at the lowest qualities no entry exceeds 255, so the file stays
    // baseline (SOF0) and every decoder reads it.
    jpeg_set_quality(cinfo, quality, TRUE);
    cinfo->optimize_coding = TRUE;
    if (progressive)
        jpeg_simple_progression(cinfo);
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        const uchar* data = pixels->rows ? pixels->rows->row(int(cinfo->next_scanline))
                                         : pixels->bits + cinfo->next_scanline * pixels->stride;
        if (!data)
            ERREXIT(cinfo, JERR_FILE_READ);
        // A job done ahead stops as soon as nobody wants it any more.
        if (cancel && cancel->load(std::memory_order_relaxed))
            ERREXIT(cinfo, JERR_FILE_READ);
        // libjpeg only reads the rows, whatever its prototype says.
        JSAMPROW row = const_cast<JSAMPROW>(data);
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

bool grayPalette(const QImage& picture)
{
    if (picture.colorCount() == 0)
        return false;
    for (QRgb colour : picture.colorTable())
        if (qRed(colour) != qGreen(colour) || qGreen(colour) != qBlue(colour))
            return false;
    return true;
}

// Brings the picture into a layout libjpeg-turbo reads directly. The common 24- and
// 32-bit bitmaps are used in place; palette, 16-bit and transparent pictures need one
// converted copy.
Pixels pixelsOf(QImage& picture)
{
    switch (picture.format()) {
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
        // A bitmap's unused alpha is settled by its own reader; a picture that still has
        // alpha here is composed over white even when every pixel is invisible, as the
        // bitmap a press writes of it is.
        if (transparencyOf(picture) != Transparency::None)
            picture = flattenOnWhite(picture);
        else if (picture.format() == QImage::Format_ARGB32_Premultiplied
                 || picture.format() == QImage::Format_RGBA8888_Premultiplied)
            picture = picture.convertToFormat(QImage::Format_RGB32);
        break;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
        picture = grayPalette(picture) ? picture.convertToFormat(QImage::Format_Grayscale8) : flattenOnWhite(picture);
        break;
    case QImage::Format_RGB32:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
    case QImage::Format_Grayscale8:
        break;
    default:
        picture = flattenOnWhite(picture);
        break;
    }

    J_COLOR_SPACE space = rgb32Space;
    int components = 4;
    switch (picture.format()) {
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
        space = JCS_EXT_RGBX;
        break;
    case QImage::Format_RGB888:
        space = JCS_EXT_RGB;
        components = 3;
        break;
    case QImage::Format_BGR888:
        space = JCS_EXT_BGR;
        components = 3;
        break;
    case QImage::Format_Grayscale8:
        space = JCS_GRAYSCALE;
        components = 1;
        break;
    default:  // RGB32 and ARGB32 with its alpha ignored
        break;
    }
    return {picture.constBits(), picture.bytesPerLine(), picture.width(), picture.height(), components, space};
}

// The source as libjpeg will read it, read the way the preview read it (by content, with
// the same guards), so that what the window shows is what gets encoded. A damaged file is
// refused: encoding the part that could be read would pass it off as the whole picture.
// A complete plain 24- or 32-bit bitmap (the reader takes its rows as they are, and its
// checks pass it whole) goes to libjpeg a block of rows at a time, as the rows lie in the
// file: the same pixels, without a decoded copy of the whole picture beside the one the
// window already holds. Filled in place: `pixels` points into it.
struct Source {
    std::optional<PlainBitmapFile> plain;
    std::optional<BitmapRows> fileRows;
    QImage picture;
    Pixels pixels{};

    Source() = default;
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // Written, or SourceUnreadable / SourceTooLarge.
    std::int16_t read(const QString& name, const QByteArray& logName)
    {
        plain = openPlainBitmap(name);
        if (plain) {
            const PlainBitmap& layout = plain->layout;
            fileRows.emplace(*plain->file, layout);
            pixels = {nullptr,
                      0,
                      layout.width,
                      layout.height,
                      layout.bytesPerPixel,
                      layout.bytesPerPixel == 3 ? JCS_EXT_BGR : JCS_EXT_BGRX,
                      &*fileRows};
            return Written;
        }
        PictureRead read = readPicture(name);
        if (read.problem) {
            qWarning("SavetoJPEG: %s: %s", logName.constData(), qPrintable(read.problem->reason));
            return read.problem->kind == FailureKind::TooLarge ? SourceTooLarge : SourceUnreadable;
        }
        picture = std::move(read.picture);
        pixels = pixelsOf(picture);
        if (pixels.bits == nullptr)
            return SourceUnreadable;  // the converted copy could not be allocated
        return Written;
    }
};

// Encodes the source into `device`; Written or EncodeFailed.
std::int16_t encodeInto(QIODevice& device, const Source& source, std::uint8_t quality, bool progressive,
                        const std::atomic<bool>* cancel, const QByteArray& logName)
{
    Compressor cinfo(new jpeg_compress_struct{});
    LibjpegErrors errors;
    cinfo->err = useErrors(errors);
    Destination destination{};
    destination.device = &device;
    destination.buffer.resize(64 * 1024);
    destination.pub.init_destination = startDestination;
    destination.pub.empty_output_buffer = flushDestination;
    destination.pub.term_destination = finishDestination;

    // 0 is the lowest quality the caller can ask for; libjpeg's lowest is 1.
    const int libjpegQuality = qBound(1, int(quality), 100);
    if (!compress(cinfo.get(), &errors, &destination, &source.pixels, libjpegQuality, progressive, cancel)) {
        if (!cancel || !cancel->load())
            qWarning("SavetoJPEG: %s: %s", logName.constData(), errors.error);
        return EncodeFailed;
    }
    if (errors.warned)
        qWarning("SavetoJPEG: %s: libjpeg: %s", logName.constData(), errors.warning);
    return Written;
}

using Clock = std::chrono::steady_clock;

struct Request {
    QByteArray source;
    std::uint8_t quality = 0;
    bool progressive = false;

    bool operator==(const Request&) const = default;
};

}  // namespace

// One worker thread, started by the first request, that encodes ahead into memory. Only
// the newest request counts; at most one result is held.
struct LibjpegEncoder::Ahead {
    struct Result {
        Request request;
        FileStamp stamp;  // the source as it was read
        QByteArray bytes;
        QSize previewBox;
        QImage preview;  // null when none was asked for, or it could not be made
    };

    std::mutex mutex;
    std::condition_variable changed;
    std::optional<Request> wanted;  // waiting for its rest to pass
    QSize wantedBox;
    Clock::time_point startAt;
    std::optional<Request> running;
    std::atomic<bool> cancelRunning{false};
    std::optional<Result> held;
    bool stopping = false;
    int pressesFromPrepared = 0;
    std::thread worker;

    ~Ahead()
    {
        {
            const std::lock_guard lock(mutex);
            stopping = true;
            wanted.reset();
            cancelRunning = true;
        }
        changed.notify_all();
        if (worker.joinable())
            worker.join();
    }

    void start()
    {
        if (!worker.joinable())
            worker = std::thread([this] { work(); });
    }

    void work()
    {
        std::unique_lock lock(mutex);
        while (!stopping) {
            if (!wanted) {
                changed.wait(lock);
                continue;
            }
            if (Clock::now() < startAt) {
                changed.wait_until(lock, startAt);
                continue;
            }
            const Request request = *wanted;
            const QSize box = wantedBox;
            wanted.reset();
            running = request;
            cancelRunning = false;
            lock.unlock();

            const QString name = QFile::decodeName(request.source);
            const FileStamp before = fileStamp(name);
            QByteArray bytes;
            bool done = false;
            {
                Source source;
                if (source.read(name, request.source) == Written) {
                    QBuffer buffer(&bytes);
                    buffer.open(QIODevice::WriteOnly);
                    done =
                        encodeInto(buffer, source, request.quality, request.progressive, &cancelRunning, request.source)
                        == Written;
                }
            }
            // The output's preview, decoded from these very bytes as the picture service
            // would decode the file.
            QImage preview;
            if (done && box.isValid() && !cancelRunning) {
                JpegDecoder decoder(bytes);
                preview = decoder.decode(box).picture;
            }
            // A source that changed while it was read gives nothing to keep.
            done = done && before.sameVersion(fileStamp(name));

            lock.lock();
            running.reset();
            if (done && !cancelRunning && !stopping)
                held = Result{request, before, std::move(bytes), box, std::move(preview)};
            changed.notify_all();
        }
    }
};

LibjpegEncoder::LibjpegEncoder(WrittenPreviews* previews) : ahead_(std::make_unique<Ahead>()), previews_(previews) { }

LibjpegEncoder::~LibjpegEncoder() = default;

void LibjpegEncoder::prepare(const QByteArray& sourcePath, std::uint8_t quality, bool progressive, int restMs,
                             QSize previewBox)
{
    if (!previews_)
        previewBox = {};
    const Request request{sourcePath, quality, progressive};
    {
        const std::lock_guard lock(ahead_->mutex);
        if ((ahead_->held && ahead_->held->request == request && ahead_->held->previewBox == previewBox)
            || (ahead_->running == request && ahead_->wantedBox == previewBox)) {
            ahead_->wanted.reset();
            return;
        }
        if (ahead_->running)
            ahead_->cancelRunning = true;
        ahead_->held.reset();
        ahead_->wanted = request;
        ahead_->wantedBox = previewBox;
        ahead_->startAt = Clock::now() + std::chrono::milliseconds(std::max(0, restMs));
        ahead_->start();
    }
    ahead_->changed.notify_all();
}

void LibjpegEncoder::cancelPrepared()
{
    {
        const std::lock_guard lock(ahead_->mutex);
        ahead_->wanted.reset();
        if (ahead_->running)
            ahead_->cancelRunning = true;
        ahead_->held.reset();
    }
    ahead_->changed.notify_all();
}

int LibjpegEncoder::pressesFromPrepared() const
{
    const std::lock_guard lock(ahead_->mutex);
    return ahead_->pressesFromPrepared;
}

void LibjpegEncoder::waitUntilIdle()
{
    std::unique_lock lock(ahead_->mutex);
    ahead_->changed.wait(lock, [this] { return !ahead_->wanted && !ahead_->running; });
}

// The prepared bytes when they were made from these arguments and the source file is
// still the version they were read from; nothing otherwise. A job for these very
// arguments still waiting or running is waited for: it is ahead of a new encode.
std::optional<LibjpegEncoder::Prepared> LibjpegEncoder::takePrepared(const QByteArray& sourcePath, std::uint8_t quality,
                                                                     bool progressive)
{
    const Request request{sourcePath, quality, progressive};
    std::optional<Ahead::Result> result;
    {
        std::unique_lock lock(ahead_->mutex);
        Ahead& a = *ahead_;
        if (a.wanted == request)
            a.startAt = Clock::now();
        else
            a.wanted.reset();
        if (a.running && a.running != request)
            a.cancelRunning = true;
        a.changed.notify_all();
        a.changed.wait(lock, [&] { return a.wanted != request && a.running != request; });
        if (a.held && a.held->request == request)
            result = std::move(a.held);
        a.held.reset();
    }
    if (!result || !result->stamp.sameVersion(fileStamp(QFile::decodeName(sourcePath))))
        return std::nullopt;
    return Prepared{std::move(result->bytes), result->previewBox, std::move(result->preview)};
}

std::int16_t LibjpegEncoder::SavetoJPEG(const QByteArray& sourcePath, QByteArray& destinationPath, std::uint8_t quality,
                                        bool progressive)
{
    const std::optional<Prepared> prepared = takePrepared(sourcePath, quality, progressive);
    Source source;
    if (!prepared) {
        if (const std::int16_t problem = source.read(QFile::decodeName(sourcePath), sourcePath); problem != Written)
            return problem;
    }

    // A temporary file beside the target replaces it only once complete; a failure
    // removes the temporary file and leaves any older file untouched.
    ReplacingFile output(QFile::decodeName(destinationPath));
    if (const MaybeProblem problem = output.open()) {
        qWarning("SavetoJPEG: %s: %s", destinationPath.constData(), qPrintable(problem->reason));
        return encoderResult::fromFailure(problem->kind, DestinationUnwritable);
    }
    if (prepared) {
        if (output.device().write(prepared->bytes) != prepared->bytes.size()) {
            qWarning("SavetoJPEG: %s: %s", destinationPath.constData(), qPrintable(output.device().errorString()));
            return encoderResult::fromFailure(output.writeProblem().kind, EncodeFailed);
        }
    } else if (encodeInto(output.device(), source, quality, progressive, nullptr, destinationPath) != Written) {
        // A write that failed is the destination's fault, not the encoder's.
        if (output.device().error() != QFileDevice::NoError || output.writeProblem().kind == FailureKind::DiskFull)
            return encoderResult::fromFailure(output.writeProblem().kind, EncodeFailed);
        return EncodeFailed;
    }
    if (const MaybeProblem problem = output.commit()) {
        qWarning("SavetoJPEG: %s: %s", destinationPath.constData(), qPrintable(problem->reason));
        return encoderResult::fromFailure(problem->kind, EncodeFailed);
    }
    if (prepared) {
        if (previews_ && !prepared->preview.isNull())
            previews_->put(QFile::decodeName(destinationPath), prepared->bytes, prepared->previewBox,
                           prepared->preview);
        const std::lock_guard lock(ahead_->mutex);
        ++ahead_->pressesFromPrepared;
    }
    return Written;
}

}  // namespace pelk
