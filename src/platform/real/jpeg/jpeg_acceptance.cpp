#include "platform/real/jpeg/jpeg_acceptance.h"

#include <algorithm>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <iterator>

#include <jpeglib.h>

#include <jerror.h>

namespace pelk {
namespace {

struct JpegWarningRule {
    int code;      // libjpeg's message code
    bool refuses;  // whether a picture decoded past it is refused
    const char* why;
};

// A frame without Huffman tables of its own (a motion-JPEG camera's) raises nothing:
// libjpeg-turbo decodes it with the standard tables, which is what such frames mean.
constexpr JpegWarningRule rules[] = {
    // Data damage: libjpeg fills in what it could not read.
    {JWRN_JPEG_EOF, true, "the file ends before its picture does: the rest would be made up"},
    {JWRN_HIT_MARKER, true, "a scan's data end early: the blocks after them would be made up"},
    {JWRN_HUFF_BAD_CODE, true, "a code no table holds: the rest of the block would be made up"},
    {JWRN_ARITH_BAD_CODE, true, "a code the arithmetic decoder cannot read: the rest of the scan would be made up"},
    {JWRN_MUST_RESYNC, true, "a restart marker is lost: blocks are skipped or misplaced"},
    {JWRN_BOGUS_PROGRESSION, true, "the scans refine what was never sent: the coefficients are guesses"},
    // Never ours to meet: only a caller that reads rows past the end raises it.
    {JWRN_TOO_MUCH_DATA, true, "more rows asked for than the picture has"},
    // Harmless: beside the picture's data, every block is still decoded from the file.
    {JWRN_EXTRANEOUS_DATA, false, "stray bytes between segments or after a scan's data are stepped over"},
    {JWRN_JFIF_MAJOR, false, "a JFIF revision libjpeg does not know; the segment says nothing about the data"},
    {JWRN_ADOBE_XFORM, false, "an Adobe transform code libjpeg does not know: it takes the usual colour space"},
    {JWRN_NOT_SEQUENTIAL, false, "a baseline scan's spectral fields are off; libjpeg decodes the whole scan anyway"},
    {JWRN_BOGUS_ICC, false, "only raised when an ICC profile is read, which this program does not do"},
};

}  // namespace

bool jpegWarningRefuses(int code)
{
    const auto* rule =
        std::find_if(std::begin(rules), std::end(rules), [code](const JpegWarningRule& r) { return r.code == code; });
    return rule == std::end(rules) || rule->refuses;
}

}  // namespace pelk
