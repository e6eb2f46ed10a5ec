#pragma once

#include "platform/services.h"

#include <QSize>

#include <atomic>
#include <memory>

namespace pelk {

class EncodeAhead;
class HeldPicture;
class WrittenPreviews;

// The JPEG encoder on libjpeg-turbo: reads the source as the picture service does (by
// content: a bitmap, or any other picture that was named .bmp) and encodes it with
// optimised Huffman tables and 4:2:0 chroma subsampling. What a press is likely to ask for
// is encoded ahead on a thread of its own (prepare()); destroying the encoder stops it.
class LibjpegEncoder : public JpegEncoder {
public:
    // With `previews`, the output's preview is made ahead with the bytes and put there when
    // the press writes them. With `held`, the pixels of the picture the picture service has
    // loaded whole are encoded instead of its file's, while the file is unchanged.
    explicit LibjpegEncoder(WrittenPreviews* previews = nullptr, const HeldPicture* held = nullptr);
    ~LibjpegEncoder() override;
    LibjpegEncoder(const LibjpegEncoder&) = delete;
    LibjpegEncoder& operator=(const LibjpegEncoder&) = delete;

    std::int16_t SavetoJPEG(const QByteArray& sourcePath, QByteArray& destinationPath, std::uint8_t quality,
                            bool progressive) override;
    void prepare(const QByteArray& sourcePath, std::uint8_t quality, bool progressive, int restMs,
                 QSize previewBox = {}) override;
    void cancelPrepared() override;

    // For tests and benchmarks: how many presses wrote bytes encoded ahead; and a wait
    // until no request is waiting or running.
    int pressesFromPrepared() const;
    void waitUntilIdle();
    // For benchmarks: the threads an encode uses; 0 (the default) for one per core.
    void setThreads(int threads) { threads_ = threads; }

private:
    std::unique_ptr<EncodeAhead> ahead_;
    WrittenPreviews* previews_;
    const HeldPicture* held_;
    std::atomic<int> pressesFromPrepared_{0};
    std::atomic<int> threads_{0};
    int threads() const;
};

}  // namespace pelk
