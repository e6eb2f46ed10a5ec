#include "platform/real/jpeg/jpeg_compress.h"

#include "platform/real/jpeg/block_preview.h"
#include "platform/real/jpeg/encoder_source.h"
#include "platform/real/jpeg/jpeg_scans.h"
#include "platform/real/jpeg/jpeg_strips.h"
#include "platform/real/jpeg/libjpeg_support.h"

#include <QtGlobal>

#include <algorithm>
#include <vector>

#include <jerror.h>

namespace pelk {
namespace {

// Compressed data goes to the device through a buffer of our own.
struct Destination {
    jpeg_destination_mgr pub;
    QIODevice* device;
    const std::atomic<bool>* cancel;
    BlockPreview* preview;  // waited for before libjpeg frees the blocks it reads
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
    // A job done ahead stops as soon as nobody wants it any more.
    if (d->cancel && d->cancel->load(std::memory_order_relaxed))
        ERREXIT(cinfo, JERR_FILE_WRITE);
    const qint64 size = qint64(d->buffer.size());
    if (d->device->write(reinterpret_cast<const char*>(d->buffer.data()), size) != size)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    startDestination(cinfo);
    return TRUE;
}

void finishDestination(j_compress_ptr cinfo)
{
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    if (d->preview)
        d->preview->wait();
    const qint64 size = qint64(d->buffer.size() - d->pub.free_in_buffer);
    if (size > 0 && d->device->write(reinterpret_cast<const char*>(d->buffer.data()), size) != size)
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

// The file's settings and its coefficient arrays, all in memory at once; `target` gets the
// arrays' rows for computeBlocks to fill.
bool begin(jpeg_compress_struct* cinfo, LibjpegErrors* errors, Destination* destination, const EncoderPixels* pixels,
           int quality, bool progressive, jvirt_barray_ptr* arrays, BlockTarget* target)
{
    // Nothing with a destructor lives in this frame: longjmp may land here.
    if (setjmp(errors->jump))
        return false;
    jpeg_create_compress(cinfo);
    cinfo->dest = &destination->pub;
    setFileSettings(cinfo, *pixels, quality, progressive);
    int maxH = 1, maxV = 1;
    for (int ci = 0; ci < cinfo->num_components; ++ci) {
        maxH = std::max(maxH, cinfo->comp_info[ci].h_samp_factor);
        maxV = std::max(maxV, cinfo->comp_info[ci].v_samp_factor);
    }
    target->components = cinfo->num_components;
    JDIMENSION down[MAX_COMPONENTS] = {};  // rows of blocks in whole MCUs, as libjpeg's own arrays have
    for (int ci = 0; ci < cinfo->num_components; ++ci) {
        const jpeg_component_info& c = cinfo->comp_info[ci];
        const auto up = [](JDIMENSION a, JDIMENSION b) { return (a + b - 1) / b; };
        const auto h = JDIMENSION(c.h_samp_factor), v = JDIMENSION(c.v_samp_factor);
        target->across[size_t(ci)] = up(cinfo->image_width * h, JDIMENSION(maxH * DCTSIZE));
        target->down[size_t(ci)] = up(cinfo->image_height * v, JDIMENSION(maxV * DCTSIZE));
        down[ci] = up(target->down[size_t(ci)], v) * v;
        arrays[ci] = (*cinfo->mem->request_virt_barray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, FALSE,
                                                        up(target->across[size_t(ci)], h) * h, down[ci], down[ci]);
    }
    (*cinfo->mem->realize_virt_arrays)(reinterpret_cast<j_common_ptr>(cinfo));
    // Every row at once, the padding rows too: the entropy pass reads an MCU row's
    // array rows whole, though it makes the padding blocks anew.
    for (int ci = 0; ci < cinfo->num_components; ++ci)
        target->rows[size_t(ci)] =
            (*cinfo->mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(cinfo), arrays[ci], 0, down[ci], TRUE);
    return true;
}

// The entropy coding of the blocks, here: Huffman tables made for this picture, every scan.
bool code(jpeg_compress_struct* cinfo, LibjpegErrors* errors, jvirt_barray_ptr* arrays)
{
    if (setjmp(errors->jump))
        return false;
    jpeg_write_coefficients(cinfo, arrays);
    jpeg_finish_compress(cinfo);
    return true;
}

}  // namespace

MaybeProblem encodeInto(QIODevice& device, const EncoderPixels& pixels, std::uint8_t quality, bool progressive,
                        int threads, const std::atomic<bool>* cancel, EncodePreview* preview)
{
    Compressor cinfo(new jpeg_compress_struct{});
    BlockPreview previewer;  // ended before the compressor and its blocks go
    LibjpegErrors errors;
    cinfo->err = useErrors(errors);
    Destination destination{};
    destination.device = &device;
    destination.cancel = cancel;
    destination.buffer.resize(64 * 1024);
    destination.pub.init_destination = startDestination;
    destination.pub.empty_output_buffer = flushDestination;
    destination.pub.term_destination = finishDestination;

    // 0 is the lowest quality the caller can ask for; libjpeg's lowest is 1.
    const int libjpegQuality = qBound(1, int(quality), 100);
    jvirt_barray_ptr arrays[MAX_COMPONENTS] = {};
    BlockTarget target;
    if (!begin(cinfo.get(), &errors, &destination, &pixels, libjpegQuality, progressive, arrays, &target))
        return Problem{FailureKind::EncoderFailed, QString::fromLocal8Bit(errors.error)};
    // The blocks on every core; only the entropy coding needs the whole picture in order.
    if (MaybeProblem problem = computeBlocks(pixels, libjpegQuality, threads, target, cancel))
        return problem;
    if (preview && preview->box.isValid()) {
        previewer.start(headerOfBlocks(cinfo.get()), target, preview->box, cancel);
        destination.preview = &previewer;
    }
    if (progressive && threads > 1) {
        // A progressive file's scans are independent of one another: they too share the cores.
        if (MaybeProblem problem = codeScans(device, pixels, libjpegQuality, cinfo->num_scans, arrays, threads, cancel))
            return problem;
    } else if (!code(cinfo.get(), &errors, arrays)) {
        return Problem{FailureKind::EncoderFailed, QString::fromLocal8Bit(errors.error)};
    }
    if (preview)
        preview->picture = previewer.wait();
    // A warning on our own pixels changes nothing in the file; it is worth a line in the log.
    if (errors.warned)
        qCDebug(pelkLog) << "libjpeg warned while encoding:" << errors.warning;
    return std::nullopt;
}

}  // namespace pelk
