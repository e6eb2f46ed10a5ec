#pragma once

#include "platform/real/ahead/background_job.h"
#include "platform/real/files/file_stamp.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <cstdint>
#include <optional>

namespace pelk {

class HeldPicture;

// The JPEG a press is likely to ask for, encoded ahead into memory: the source read as a
// press reads it, the bytes, and the output's preview decoded from those very bytes as
// the picture service would decode the file. Nothing is written to any file here.
class EncodeAhead {
public:
    // With `held`, the pixels of a picture already loaded whole are read instead of its file's.
    explicit EncodeAhead(const HeldPicture* held = nullptr) : held_(held) { }

    struct Encoded {
        QByteArray bytes;
        QSize previewBox;
        QImage preview;  // null when none was asked for, or it could not be made
    };

    // Encodes once `restMs` have passed without a newer request; a valid `previewBox`
    // asks for the preview too.
    void prepare(const QByteArray& sourcePath, std::uint8_t quality, bool progressive, int threads, int restMs,
                 QSize previewBox);
    // Drops what was prepared or is being prepared.
    void cancel();
    // The bytes when they were made from these arguments and the source file is still the
    // version they were read from; nothing otherwise. A job for these very arguments still
    // waiting or running is waited for: it is ahead of a new encode.
    std::optional<Encoded> take(const QByteArray& sourcePath, std::uint8_t quality, bool progressive, int threads);
    // Returns once no job waits or runs.
    void waitUntilIdle() { job_.waitUntilIdle(); }

private:
    struct Request {
        QByteArray source;
        std::uint8_t quality = 0;
        bool progressive = false;
        int threads = 1;
        QSize previewBox;
        bool operator==(const Request&) const = default;
    };
    struct Made {
        FileStamp stamp;  // the source as it was read
        Encoded encoded;
    };
    std::optional<Made> encode(const Request& request, const std::atomic<bool>& cancel) const;

    const HeldPicture* held_;
    QSize previewBox_;  // the last prepare's: a press does not know it
    BackgroundJob<Request, Made> job_{
        [this](const Request& request, const std::atomic<bool>& cancel) { return encode(request, cancel); }};
};

}  // namespace pelk
