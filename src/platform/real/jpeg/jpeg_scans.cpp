#include "platform/real/jpeg/jpeg_scans.h"

#include "platform/real/jpeg/encoder_source.h"
#include "platform/real/jpeg/on_threads.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <jerror.h>
#include <jpegint.h>  // the entropy coder's and the coefficient controller's passes, which a coder follows

namespace pelk {
namespace {

// What the coders share: which scans are taken, and the bytes of each, written by the
// coder that took it.
struct Scans {
    explicit Scans(int count) : taken(size_t(count)), bytes(size_t(count)) { }
    std::vector<std::atomic<bool>> taken;
    std::vector<QByteArray> bytes;
    QByteArray start;  // the file's first marker and its JFIF segment
};

struct Coder;

struct Output {
    jpeg_destination_mgr pub;
    Coder* coder;
    QByteArray* target;  // where the bytes written now belong; none for a scan another codes
    JOCTET buffer[16 * 1024];
};

// One compressor coding the scans it takes.
struct Coder {
    Scans* scans = nullptr;
    const EncoderPixels* pixels = nullptr;
    int quality = 75;
    jvirt_barray_ptr* arrays = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    bool keepsStart = false;
    int scan = -1;
    bool mine = false;
    bool gathering = false;
    bool rowCounted = false;
    void (*startPass)(j_compress_ptr, boolean) = nullptr;
    boolean (*compressData)(j_compress_ptr, JSAMPIMAGE) = nullptr;
    Compressor cinfo{new jpeg_compress_struct{}};
    LibjpegErrors errors;
    Output output{};
};

Coder* coderOf(j_compress_ptr cinfo) { return static_cast<Coder*>(cinfo->client_data); }

void keepWritten(Output* o)
{
    const size_t size = sizeof o->buffer - o->pub.free_in_buffer;
    if (o->target && size > 0)
        o->target->append(reinterpret_cast<const char*>(o->buffer), qsizetype(size));
    o->pub.next_output_byte = o->buffer;
    o->pub.free_in_buffer = sizeof o->buffer;
}

void startOutput(j_compress_ptr cinfo)
{
    Output* o = &coderOf(cinfo)->output;
    o->pub.next_output_byte = o->buffer;
    o->pub.free_in_buffer = sizeof o->buffer;
}

boolean emptyOutput(j_compress_ptr cinfo)
{
    Output* o = &coderOf(cinfo)->output;
    o->pub.free_in_buffer = 0;
    keepWritten(o);
    return TRUE;
}

void endOutput(j_compress_ptr cinfo) { keepWritten(&coderOf(cinfo)->output); }

// Each scan has a pass gathering its statistics, then one writing it (a DC refinement scan,
// which needs no table, only the second); the headers of the scan are written after this,
// so its bytes begin here.
void startScanPass(j_compress_ptr cinfo, boolean gather)
{
    Coder* c = coderOf(cinfo);
    if (gather || !c->gathering) {
        ++c->scan;
        c->mine = !c->scans->taken[size_t(c->scan)].exchange(true);
        c->rowCounted = false;
    }
    c->gathering = gather;
    c->startPass(cinfo, gather);
    keepWritten(&c->output);
    c->output.target = !gather && c->mine ? &c->scans->bytes[size_t(c->scan)] : nullptr;
}

boolean compressRow(j_compress_ptr cinfo, JSAMPIMAGE input)
{
    Coder* c = coderOf(cinfo);
    // A job done ahead stops as soon as nobody wants it any more.
    if (c->cancel && c->cancel->load(std::memory_order_relaxed))
        ERREXIT(cinfo, JERR_FILE_WRITE);
    if (c->mine)
        return c->compressData(cinfo, input);
    // Another coder codes this scan. One row of statistics keeps libjpeg from making a
    // table of no symbols; what is written of the scan goes nowhere.
    if (c->gathering && !c->rowCounted) {
        c->rowCounted = true;
        return c->compressData(cinfo, input);
    }
    return TRUE;
}

bool codeInFrame(jpeg_compress_struct* cinfo, LibjpegErrors* errors, Coder* c)
{
    // Nothing with a destructor lives in this frame: longjmp may land here.
    if (setjmp(errors->jump))
        return false;
    jpeg_create_compress(cinfo);
    cinfo->client_data = c;
    c->output.coder = c;
    c->output.target = c->keepsStart ? &c->scans->start : nullptr;
    c->output.pub.init_destination = startOutput;
    c->output.pub.empty_output_buffer = emptyOutput;
    c->output.pub.term_destination = endOutput;
    cinfo->dest = &c->output.pub;
    setFileSettings(cinfo, *c->pixels, c->quality, true);
    jpeg_write_coefficients(cinfo, c->arrays);
    c->startPass = cinfo->entropy->start_pass;
    cinfo->entropy->start_pass = startScanPass;
    c->compressData = cinfo->coef->compress_data;
    cinfo->coef->compress_data = compressRow;
    jpeg_finish_compress(cinfo);
    return true;
}

void code(Coder* c)
{
    c->cinfo->err = useErrors(c->errors);
    if (!codeInFrame(c->cinfo.get(), &c->errors, c) && c->errors.error[0] == '\0')
        std::strcpy(c->errors.error, "a coder failed");
}

}  // namespace

void setFileSettings(jpeg_compress_struct* cinfo, const EncoderPixels& pixels, int quality, bool progressive)
{
    cinfo->image_width = JDIMENSION(pixels.width);
    cinfo->image_height = JDIMENSION(pixels.height);
    cinfo->input_components = pixels.components;
    cinfo->in_color_space = pixels.space;
    jpeg_set_defaults(cinfo);  // YCbCr with 4:2:0 for colour input
    // Baseline tables: at the lowest qualities no entry exceeds 255, so the file stays
    // baseline (SOF0) and every decoder reads it.
    jpeg_set_quality(cinfo, quality, TRUE);
    cinfo->optimize_coding = TRUE;
    if (progressive)
        jpeg_simple_progression(cinfo);
}

MaybeProblem codeScans(QIODevice& device, const EncoderPixels& pixels, int quality, int scanCount,
                       jvirt_barray_ptr* arrays, int threads, const std::atomic<bool>* cancel)
{
    Scans scans(scanCount);
    std::vector<std::unique_ptr<Coder>> coders;
    for (int i = 0; i < std::clamp(threads, 1, scanCount); ++i) {
        auto coder = std::make_unique<Coder>();
        coder->scans = &scans;
        coder->pixels = &pixels;
        coder->quality = quality;
        coder->arrays = arrays;
        coder->cancel = cancel;
        coder->keepsStart = i == 0;
        coders.push_back(std::move(coder));
    }
    // Every coder walks every scan, so that the scans of a coder that got no thread of its
    // own are taken by the others.
    runOnThreads(int(coders.size()), [&coders](int i) { code(coders[size_t(i)].get()); });
    for (const auto& coder : coders) {
        if (coder->errors.error[0] != '\0')
            return Problem{FailureKind::EncoderFailed, QString::fromLocal8Bit(coder->errors.error)};
    }
    if (device.write(scans.start) != scans.start.size())
        return Problem{FailureKind::EncoderFailed, device.errorString()};
    for (const QByteArray& scan : scans.bytes) {
        if (scan.isEmpty() || device.write(scan) != scan.size())
            return Problem{FailureKind::EncoderFailed,
                           scan.isEmpty() ? QStringLiteral("a scan was not coded") : device.errorString()};
    }
    return std::nullopt;
}

}  // namespace pelk
