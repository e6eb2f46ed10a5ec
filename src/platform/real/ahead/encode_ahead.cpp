#include "platform/real/ahead/encode_ahead.h"

#include "platform/real/ahead/byte_pipe.h"
#include "platform/real/jpeg/encoder_source.h"
#include "platform/real/jpeg/jpeg_compress.h"
#include "platform/real/jpeg/jpeg_decoder.h"

#include <QFile>

#include <system_error>
#include <thread>

namespace pelk {
namespace {

// Decodes the preview of the bytes a pipe is given, on a thread of its own, from its
// making to its end; none when no box is asked for. With no thread to be had, the preview
// is decoded at the end from all the bytes.
class PreviewWhileWritten {
public:
    PreviewWhileWritten(BytePipe& bytes, QSize box, const std::atomic<bool>& cancel, QImage& preview)
        : bytes_(bytes), box_(box), cancel_(cancel), preview_(preview)
    {
        if (!box.isValid())
            return;
        try {
            thread_ = std::thread([this] { preview_ = JpegDecoder(bytes_).decode(box_, &cancel_).picture; });
        } catch (const std::system_error&) {
            late_ = true;
        }
    }
    ~PreviewWhileWritten()
    {
        bytes_.finish();  // whatever became of the encode: the decode ends at the last byte
        if (thread_.joinable())
            thread_.join();
        else if (late_ && !cancel_)
            preview_ = JpegDecoder(bytes_.bytes()).decode(box_).picture;
    }
    PreviewWhileWritten(const PreviewWhileWritten&) = delete;
    PreviewWhileWritten& operator=(const PreviewWhileWritten&) = delete;

private:
    BytePipe& bytes_;
    QSize box_;
    const std::atomic<bool>& cancel_;
    QImage& preview_;
    std::thread thread_;
    bool late_ = false;
};

}  // namespace

void EncodeAhead::prepare(const QByteArray& sourcePath, std::uint8_t quality, bool progressive, int threads, int restMs,
                          QSize previewBox)
{
    previewBox_ = previewBox;
    job_.request({sourcePath, quality, progressive, threads, previewBox}, std::chrono::milliseconds(restMs));
}

void EncodeAhead::cancel() { job_.cancel(); }

std::optional<EncodeAhead::Encoded> EncodeAhead::take(const QByteArray& sourcePath, std::uint8_t quality,
                                                      bool progressive, int threads)
{
    std::optional<Made> made = job_.take({sourcePath, quality, progressive, threads, previewBox_});
    if (!made || !made->stamp.sameVersion(fileStamp(QFile::decodeName(sourcePath))))
        return std::nullopt;
    return std::move(made->encoded);
}

std::optional<EncodeAhead::Made> EncodeAhead::encode(const Request& request, const std::atomic<bool>& cancel) const
{
    const QString name = QFile::decodeName(request.source);
    const QString what = QStringLiteral("encode ahead: ") + name;
    const FileStamp before = fileStamp(name);
    BytePipe bytes;
    QImage preview;
    MaybeProblem problem;
    {
        EncoderSource source;
        if (const MaybeProblem unreadable = source.read(name, held_)) {
            logged(*unreadable, what);
            return std::nullopt;
        }
        // The output's preview is decoded from the bytes while they are coded, on a core
        // the coding leaves free.
        PreviewWhileWritten previewer(bytes, request.previewBox, cancel, preview);
        problem = encodeInto(bytes, source.pixels(), request.quality, request.progressive, request.threads, &cancel);
    }
    if (problem) {
        if (!cancel)  // a job stopped is no failure
            logged(*problem, what);
        return std::nullopt;
    }
    // A source that changed while it was read gives nothing to keep.
    if (!before.sameVersion(fileStamp(name)))
        return std::nullopt;
    return Made{before, {bytes.bytes(), request.previewBox, std::move(preview)}};
}

}  // namespace pelk
