#pragma once

#include "platform/real/jpeg/jpeg_strips.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <atomic>
#include <thread>

namespace pelk {

// The header of a one-scan file of the blocks a compressor with these settings makes: its
// size, components, sampling and quantisation tables, and no Huffman tables (the blocks
// are handed to the decoder, never coded).
QByteArray headerOfBlocks(const jpeg_compress_struct* cinfo);

// Where a decoder takes the blocks it would decode from: MCU after MCU, in the order of
// the scan.
struct BlockFeed {
    const BlockTarget* blocks = nullptr;
    JDIMENSION column = 0;
    JDIMENSION row = 0;
};
// Makes a decoder whose decompression has started take its blocks from `feed` instead of
// decoding the file's data; `feed` must outlive the decode.
void takeBlocksFrom(jpeg_decompress_struct* cinfo, BlockFeed* feed);

// The preview of a JPEG made from its blocks on a thread of its own, while the blocks are
// being coded: the very picture that decoding the finished file for a box of that size
// gives (JpegDecoder takes the blocks instead of decoding them), without reading a byte
// of it. The blocks must stay as they are until wait() has returned.
class BlockPreview {
public:
    BlockPreview() = default;
    ~BlockPreview() { wait(); }
    BlockPreview(const BlockPreview&) = delete;
    BlockPreview& operator=(const BlockPreview&) = delete;

    // With no thread to be had, the preview is made at once.
    void start(QByteArray header, const BlockTarget& blocks, QSize box, const std::atomic<bool>* cancel);
    // The preview once made; null when none was started, or it could not be made.
    const QImage& wait();

private:
    void make();

    QByteArray header_;
    BlockTarget blocks_;
    QSize box_;
    const std::atomic<bool>* cancel_ = nullptr;
    QImage picture_;
    std::thread thread_;
};

}  // namespace pelk
