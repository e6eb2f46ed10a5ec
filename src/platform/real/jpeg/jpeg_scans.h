#pragma once

#include "platform/real/jpeg/libjpeg_support.h"
#include "platform/real/problem.h"

#include <QIODevice>

#include <atomic>

namespace pelk {

struct EncoderPixels;

// The settings of every file this program writes: libjpeg's defaults for the pixels (YCbCr
// with 4:2:0 for colour), the quality's tables kept baseline, optimised Huffman tables,
// and libjpeg's progressive scans when asked.
void setFileSettings(jpeg_compress_struct* cinfo, const EncoderPixels& pixels, int quality, bool progressive);

// Codes a progressive file of `scanCount` scans of the blocks in `arrays` (realised in full
// by another compressor, which outlives this) into `device`, its scans shared among up to `threads` compressors. Each
// compressor walks every scan in order; the first to reach a scan codes it (its Huffman
// tables made from that scan's own statistics, as ever), the others pass over it, and the
// scans' bytes are put together in order at the end: the bytes libjpeg writes when it codes
// every scan itself. EncoderFailed with libjpeg's text when a coder or a write fails, or
// when `cancel` is seen set.
MaybeProblem codeScans(QIODevice& device, const EncoderPixels& pixels, int quality, int scanCount,
                       jvirt_barray_ptr* arrays, int threads, const std::atomic<bool>* cancel);

}  // namespace pelk
