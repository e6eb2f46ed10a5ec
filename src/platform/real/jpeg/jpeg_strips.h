#pragma once

#include "platform/real/jpeg/libjpeg_support.h"
#include "platform/real/problem.h"

#include <array>
#include <atomic>

namespace pelk {

struct EncoderPixels;

// Where the quantised DCT blocks of a whole picture go: per component, its rows of blocks
// (as libjpeg's coefficient arrays hold them) and how many real blocks it has across and
// down. Blocks beyond those are never written.
struct BlockTarget {
    int components = 0;
    std::array<JBLOCKARRAY, MAX_COMPONENTS> rows{};
    std::array<JDIMENSION, MAX_COMPONENTS> across{};
    std::array<JDIMENSION, MAX_COMPONENTS> down{};
};

// How many threads an encode uses when asked for "all": one per core, at most eight (the
// entropy coding that follows is one thread's whatever the count).
int allEncodeThreads();

// Computes every block of the picture into `target`, as libjpeg computes them when it
// encodes the picture whole with these settings (colour conversion, 4:2:0 downsampling,
// DCT, quantisation at `quality`): each block depends only on the pixels of its own rows
// of MCUs, so strips of whole MCU rows go to up to `threads` threads, each with a
// compressor of its own. Rows read from the file come in order, so they take one strip.
// EncoderFailed with libjpeg's text when a strip fails, or when `cancel` is seen set.
MaybeProblem computeBlocks(const EncoderPixels& pixels, int quality, int threads, const BlockTarget& target,
                           const std::atomic<bool>* cancel);

}  // namespace pelk
