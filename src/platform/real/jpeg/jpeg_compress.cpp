#include "platform/real/jpeg/jpeg_compress.h"

#include "platform/real/jpeg/encoder_source.h"
#include "platform/real/jpeg/libjpeg_support.h"

#include <QtGlobal>

#include <vector>

#include <jerror.h>

namespace pelk {
namespace {

// Compressed data goes to the device through a buffer of our own.
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

bool compress(jpeg_compress_struct* cinfo, LibjpegErrors* errors, Destination* destination, const EncoderPixels* pixels,
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

}  // namespace

MaybeProblem encodeInto(QIODevice& device, const EncoderPixels& pixels, std::uint8_t quality, bool progressive,
                        const std::atomic<bool>* cancel)
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
    if (!compress(cinfo.get(), &errors, &destination, &pixels, libjpegQuality, progressive, cancel))
        return Problem{FailureKind::EncoderFailed, QString::fromLocal8Bit(errors.error)};
    // A warning on our own pixels changes nothing in the file; it is worth a line in the log.
    if (errors.warned)
        qCDebug(pelkLog) << "libjpeg warned while encoding:" << errors.warning;
    return std::nullopt;
}

}  // namespace pelk
