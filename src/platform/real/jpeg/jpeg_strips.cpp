#include "platform/real/jpeg/jpeg_strips.h"

#include "platform/real/jpeg/encoder_source.h"
#include "platform/real/jpeg/on_threads.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <jerror.h>
#include <jpegint.h>  // the entropy coder, whose place keepBlocks takes in a strip's compressor

namespace pelk {
namespace {

// A strip's compressor writes its headers and the last bits of its (never used) entropy
// coder; they go nowhere.
struct Nowhere {
    jpeg_destination_mgr pub;
    JOCTET buffer[4096];
};

void startNowhere(j_compress_ptr cinfo)
{
    auto* d = reinterpret_cast<Nowhere*>(cinfo->dest);
    d->pub.next_output_byte = d->buffer;
    d->pub.free_in_buffer = sizeof d->buffer;
}

boolean emptyNowhere(j_compress_ptr cinfo)
{
    startNowhere(cinfo);
    return TRUE;
}

void endNowhere(j_compress_ptr) { }

// One strip of whole MCU rows and where its blocks go.
struct Strip {
    const EncoderPixels* pixels = nullptr;
    int top = 0;  // picture rows top .. top + height - 1
    int height = 0;
    int quality = 75;
    const BlockTarget* target = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    std::array<JDIMENSION, MAX_COMPONENTS> firstRow{};  // of each component's blocks
    JDIMENSION mcuColumn = 0;
    JDIMENSION mcuRow = 0;
    // Owned here, so that nothing with a destructor lives in encodeStrip's frame.
    Compressor cinfo{new jpeg_compress_struct{}};
    LibjpegErrors errors;
    Nowhere nowhere{};
};

// In place of the entropy coder: libjpeg hands over each MCU's blocks in the order of its
// scan (component by component, rows of blocks within), MCU after MCU, row after row.
boolean keepBlocks(j_compress_ptr cinfo, JBLOCKROW* blocks)
{
    auto* strip = static_cast<Strip*>(cinfo->client_data);
    const BlockTarget& target = *strip->target;
    int n = 0;
    for (int ci = 0; ci < cinfo->comps_in_scan; ++ci) {
        const jpeg_component_info* c = cinfo->cur_comp_info[ci];
        const int k = c->component_index;
        for (int y = 0; y < c->MCU_height; ++y) {
            const JDIMENSION row =
                strip->firstRow[size_t(k)] + strip->mcuRow * JDIMENSION(c->MCU_height) + JDIMENSION(y);
            for (int x = 0; x < c->MCU_width; ++x, ++n) {
                const JDIMENSION column = strip->mcuColumn * JDIMENSION(c->MCU_width) + JDIMENSION(x);
                // The padding blocks of the last MCUs are made again by the entropy pass.
                if (row < target.down[size_t(k)] && column < target.across[size_t(k)])
                    std::memcpy(target.rows[size_t(k)][row][column], blocks[n], sizeof(JBLOCK));
            }
        }
    }
    if (++strip->mcuColumn == cinfo->MCUs_per_row) {
        strip->mcuColumn = 0;
        ++strip->mcuRow;
    }
    return TRUE;
}

bool stopped(const Strip* strip) { return strip->cancel && strip->cancel->load(std::memory_order_relaxed); }

void writeRows(jpeg_compress_struct* cinfo, Strip* strip)
{
    const EncoderPixels* pixels = strip->pixels;
    constexpr JDIMENSION batch = 32;
    JSAMPROW rows[batch];
    while (cinfo->next_scanline < cinfo->image_height) {
        // A job done ahead stops as soon as nobody wants it any more.
        if (stopped(strip))
            ERREXIT(cinfo, JERR_FILE_READ);
        const int y = strip->top + int(cinfo->next_scanline);
        JDIMENSION n = 1;
        if (pixels->rows) {
            // A file row is valid until the next is asked for.
            rows[0] = const_cast<JSAMPROW>(pixels->rows->row(y));
            if (!rows[0])
                ERREXIT(cinfo, JERR_FILE_READ);
        } else {
            n = std::min(batch, cinfo->image_height - cinfo->next_scanline);
            // libjpeg only reads the rows, whatever its prototype says.
            for (JDIMENSION i = 0; i < n; ++i)
                rows[i] = const_cast<JSAMPROW>(pixels->bits + (y + qsizetype(i)) * pixels->stride);
        }
        jpeg_write_scanlines(cinfo, rows, n);
    }
}

bool encodeStrip(jpeg_compress_struct* cinfo, LibjpegErrors* errors, Strip* strip)
{
    // Nothing with a destructor lives in this frame: longjmp may land here.
    if (setjmp(errors->jump))
        return false;
    jpeg_create_compress(cinfo);
    strip->nowhere.pub.init_destination = startNowhere;
    strip->nowhere.pub.empty_output_buffer = emptyNowhere;
    strip->nowhere.pub.term_destination = endNowhere;
    cinfo->dest = &strip->nowhere.pub;
    cinfo->client_data = strip;
    cinfo->image_width = JDIMENSION(strip->pixels->width);
    cinfo->image_height = JDIMENSION(strip->height);
    cinfo->input_components = strip->pixels->components;
    cinfo->in_color_space = strip->pixels->space;
    // The whole picture's settings, so that its blocks come out the same; one pass with
    // the standard tables, whose coding keepBlocks replaces.
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, strip->quality, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    for (int ci = 0; ci < cinfo->num_components; ++ci) {
        const jpeg_component_info& c = cinfo->comp_info[ci];
        strip->firstRow[size_t(ci)] = JDIMENSION(strip->top / (cinfo->max_v_samp_factor * DCTSIZE) * c.v_samp_factor);
    }
    cinfo->entropy->encode_mcu = keepBlocks;
    writeRows(cinfo, strip);
    jpeg_finish_compress(cinfo);
    return true;
}

void runStrip(Strip* strip)
{
    strip->cinfo->err = useErrors(strip->errors);
    if (!encodeStrip(strip->cinfo.get(), &strip->errors, strip) && strip->errors.error[0] == '\0')
        std::strcpy(strip->errors.error, "a strip failed");
}

// The rows of MCUs of a picture this high, as libjpeg's defaults sample it: 16 pixel rows
// for colour (4:2:0), 8 for gray.
int mcuRowHeight(const EncoderPixels& pixels) { return pixels.components == 1 ? DCTSIZE : 2 * DCTSIZE; }

}  // namespace

int allEncodeThreads() { return int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u)); }

MaybeProblem computeBlocks(const EncoderPixels& pixels, int quality, int threads, const BlockTarget& target,
                           const std::atomic<bool>* cancel)
{
    const int mcuHeight = mcuRowHeight(pixels);
    const int mcuRows = (pixels.height + mcuHeight - 1) / mcuHeight;
    const int count = pixels.rows ? 1 : std::clamp(threads, 1, mcuRows);
    std::vector<std::unique_ptr<Strip>> strips;
    for (int i = 0; i < count; ++i) {
        auto strip = std::make_unique<Strip>();
        strip->pixels = &pixels;
        strip->top = mcuRows * i / count * mcuHeight;
        strip->height = std::min(pixels.height, mcuRows * (i + 1) / count * mcuHeight) - strip->top;
        strip->quality = quality;
        strip->target = &target;
        strip->cancel = cancel;
        strips.push_back(std::move(strip));
    }
    runOnThreads(count, [&strips](int i) { runStrip(strips[size_t(i)].get()); });
    for (const auto& strip : strips) {
        if (strip->errors.error[0] != '\0')
            return Problem{FailureKind::EncoderFailed, QString::fromLocal8Bit(strip->errors.error)};
    }
    return std::nullopt;
}

}  // namespace pelk
