#pragma once

#include <QtGlobal>

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <memory>

#include <jpeglib.h>

// What every use of libjpeg in this program shares: how its errors and warnings come
// back, who destroys its objects, and how a QRgb row is named to it.
namespace pelk {

// libjpeg reports a fatal error through error_exit, which must not return: it keeps
// libjpeg's own text in `error` and jumps back to `jump`, set by the caller in a frame
// that holds nothing with a destructor (every resource is owned one level up). A warning
// (message level -1) that refuses the picture (jpeg_acceptance.h) keeps its text in
// `warning` when it is the first, and jumps too while `stopOnWarning` is set. The
// harmless ones and traces are dropped.
struct LibjpegErrors {
    jpeg_error_mgr pub{};
    std::jmp_buf jump{};
    bool stopOnWarning = false;
    bool warned = false;  // a warning that refuses the picture
    char warning[JMSG_LENGTH_MAX] = {};
    char error[JMSG_LENGTH_MAX] = {};
};

// Sets `errors` up; the result goes into cinfo->err before the object is created.
jpeg_error_mgr* useErrors(LibjpegErrors& errors);

struct CompressDeleter {
    void operator()(jpeg_compress_struct* cinfo) const;
};
struct DecompressDeleter {
    void operator()(jpeg_decompress_struct* cinfo) const;
};
// Destroyed with libjpeg's own destroy, which is safe on a zeroed object: its create may
// have failed.
using Compressor = std::unique_ptr<jpeg_compress_struct, CompressDeleter>;
using Decompressor = std::unique_ptr<jpeg_decompress_struct, DecompressDeleter>;

// QRgb's byte order in memory, as libjpeg-turbo names it: 32-bit pictures go in and come
// out without a converted copy.
inline constexpr J_COLOR_SPACE rgb32Space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;

}  // namespace pelk
