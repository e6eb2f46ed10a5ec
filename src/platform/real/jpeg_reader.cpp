#include "platform/real/jpeg_reader.h"

#include "platform/real/picture_memory.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <algorithm>
#include <memory>

#include <jpeglib.h>

namespace pelk {
namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void leave(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// A warning means damaged data that Qt's reader may treat its own way.
void leaveOnWarning(j_common_ptr cinfo, int level)
{
    if (level < 0)
        leave(cinfo);
}

struct DecompressDeleter {
    void operator()(jpeg_decompress_struct* cinfo) const
    {
        jpeg_destroy_decompress(cinfo);
        delete cinfo;
    }
};

// Nothing with a destructor lives in this frame: longjmp may land here. `picture` is
// allocated by the caller's callback once the size is known.
bool decode(jpeg_decompress_struct* cinfo, ErrorManager* errors, const uchar* data, qsizetype size,
            QSize box, qint64 maxPixels, QImage* picture)
{
    if (setjmp(errors->jump))
        return false;
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    if (qint64(cinfo->image_width) * cinfo->image_height > maxPixels)
        return false;
    const bool gray = cinfo->jpeg_color_space == JCS_GRAYSCALE;
    if (!gray && cinfo->jpeg_color_space != JCS_YCbCr && cinfo->jpeg_color_space != JCS_RGB)
        return false;
    cinfo->out_color_space = gray ? JCS_GRAYSCALE : JCS_EXT_BGRX;  // QRgb in memory
    cinfo->scale_num = 1;
    cinfo->scale_denom = 1;
    if (box.isValid()) {
        for (unsigned denom = 8; denom > 1; denom /= 2) {
            if ((cinfo->image_width + denom - 1) / denom >= unsigned(box.width())
                && (cinfo->image_height + denom - 1) / denom >= unsigned(box.height())) {
                cinfo->scale_denom = denom;
                break;
            }
        }
    }
    jpeg_start_decompress(cinfo);
    *picture = allocatePicture(int(cinfo->output_width), int(cinfo->output_height),
                               gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (picture->isNull())
        return false;
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW rows[16];
        const int n = int(std::min<JDIMENSION>(16, cinfo->output_height - cinfo->output_scanline));
        for (int i = 0; i < n; ++i)
            rows[i] = picture->scanLine(int(cinfo->output_scanline) + i);
        jpeg_read_scanlines(cinfo, rows, JDIMENSION(n));
    }
    jpeg_finish_decompress(cinfo);
    // The resolution, as Qt's reader keeps it.
    if (cinfo->density_unit == 1 || cinfo->density_unit == 2) {
        const double perMeter = cinfo->density_unit == 1 ? 100.0 / 2.54 : 100.0;
        if (cinfo->X_density > 0 && cinfo->Y_density > 0) {
            picture->setDotsPerMeterX(qRound(cinfo->X_density * perMeter));
            picture->setDotsPerMeterY(qRound(cinfo->Y_density * perMeter));
        }
    }
    return true;
}

}  // namespace

QImage decodeJpeg(QByteArrayView bytes, QSize box, qint64 maxPixels)
{
    if (bytes.isEmpty())
        return {};
    std::unique_ptr<jpeg_decompress_struct, DecompressDeleter> cinfo(new jpeg_decompress_struct{});
    ErrorManager errors{};
    cinfo->err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = leave;
    errors.pub.emit_message = leaveOnWarning;
    QImage picture;
    if (!decode(cinfo.get(), &errors, reinterpret_cast<const uchar*>(bytes.data()), bytes.size(), box,
                maxPixels, &picture))
        return {};
    return picture;
}

}  // namespace pelk
