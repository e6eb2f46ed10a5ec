#include "platform/real/jpeg/libjpeg_support.h"

#include "platform/real/jpeg/jpeg_acceptance.h"

namespace pelk {
namespace {

LibjpegErrors* errorsOf(j_common_ptr cinfo) { return reinterpret_cast<LibjpegErrors*>(cinfo->err); }

[[noreturn]] void leave(j_common_ptr cinfo)
{
    LibjpegErrors* errors = errorsOf(cinfo);
    (*cinfo->err->format_message)(cinfo, errors->error);
    std::longjmp(errors->jump, 1);
}

void onMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    LibjpegErrors* errors = errorsOf(cinfo);
    if (!jpegWarningRefuses(cinfo->err->msg_code))
        return;
    if (!errors->warned) {
        errors->warned = true;
        (*cinfo->err->format_message)(cinfo, errors->warning);
    }
    if (errors->stopOnWarning)
        std::longjmp(errors->jump, 1);
}

}  // namespace

jpeg_error_mgr* useErrors(LibjpegErrors& errors)
{
    jpeg_error_mgr* manager = jpeg_std_error(&errors.pub);
    manager->error_exit = leave;
    manager->emit_message = onMessage;
    return manager;
}

void CompressDeleter::operator()(jpeg_compress_struct* cinfo) const
{
    jpeg_destroy_compress(cinfo);
    delete cinfo;
}

void DecompressDeleter::operator()(jpeg_decompress_struct* cinfo) const
{
    jpeg_destroy_decompress(cinfo);
    delete cinfo;
}

}  // namespace pelk
