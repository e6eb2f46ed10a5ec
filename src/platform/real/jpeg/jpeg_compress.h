#pragma once

#include "platform/real/problem.h"

#include <QIODevice>
#include <QImage>
#include <QSize>

#include <atomic>
#include <cstdint>

namespace pelk {

struct EncoderPixels;

// Encodes the pixels into `device` with optimised Huffman tables and 4:2:0 chroma
// subsampling, progressive when asked: the bytes libjpeg makes of them, whatever the
// number of `threads` that compute the blocks. EncoderFailed with libjpeg's own text when
// libjpeg or a write to the device failed, or when `cancel` was seen set.
// With `preview`, the output's preview for its box is made from the blocks while they are
// coded: the picture decoding the output for that box gives.
struct EncodePreview {
    QSize box;
    QImage picture;  // null when it could not be made
};
MaybeProblem encodeInto(QIODevice& device, const EncoderPixels& pixels, std::uint8_t quality, bool progressive,
                        int threads, const std::atomic<bool>* cancel = nullptr, EncodePreview* preview = nullptr);

}  // namespace pelk
