#include "platform/real/ahead/encode_ahead.h"

#include "platform/real/jpeg/encoder_source.h"
#include "platform/real/jpeg/jpeg_compress.h"

#include <QBuffer>
#include <QFile>

namespace pelk {

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
    QByteArray bytes;
    // The output's preview is made while the bytes are coded, on a core the coding leaves free.
    EncodePreview preview{request.previewBox, {}};
    {
        EncoderSource source;
        if (const MaybeProblem problem = source.read(name, held_)) {
            logged(*problem, what);
            return std::nullopt;
        }
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (const MaybeProblem problem = encodeInto(buffer, source.pixels(), request.quality, request.progressive,
                                                    request.threads, &cancel, &preview)) {
            if (!cancel)  // a job stopped is no failure
                logged(*problem, what);
            return std::nullopt;
        }
    }
    // A source that changed while it was read gives nothing to keep.
    if (!before.sameVersion(fileStamp(name)))
        return std::nullopt;
    return Made{before, {std::move(bytes), request.previewBox, std::move(preview.picture)}};
}

}  // namespace pelk
