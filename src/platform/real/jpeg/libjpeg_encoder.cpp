#include "platform/real/jpeg/libjpeg_encoder.h"

#include "platform/real/ahead/encode_ahead.h"
#include "platform/real/ahead/written_previews.h"
#include "platform/real/files/replacing_file.h"
#include "platform/real/jpeg/encoder_source.h"
#include "platform/real/jpeg/jpeg_compress.h"
#include "platform/real/jpeg/jpeg_strips.h"

#include <QFile>

namespace pelk {
namespace {

// SavetoJPEG's own results, besides those a destination's failure gives (services.h);
// every non-zero one means nothing was written.
enum Result : std::int16_t {
    Written = 0,
    SourceUnreadable = 1,  // missing, unreadable or not a bitmap
    SourceTooLarge = 2,
    DestinationUnwritable = 3,
    EncodeFailed = 4,  // libjpeg or the write of the data failed
};

std::int16_t sourceResult(const Problem& problem)
{
    return problem.kind == FailureKind::TooLarge ? SourceTooLarge : SourceUnreadable;
}

// A write that failed is the destination's fault, not the encoder's.
Problem writeProblem(ReplacingFile& output, Problem problem)
{
    if (const Problem why = output.writeProblem();
        output.device().error() != QFileDevice::NoError || why.kind == FailureKind::DiskFull)
        problem.kind = why.kind;
    return problem;
}

}  // namespace

LibjpegEncoder::LibjpegEncoder(WrittenPreviews* previews, const HeldPicture* held)
    : ahead_(std::make_unique<EncodeAhead>(held)), previews_(previews), held_(held)
{
}

LibjpegEncoder::~LibjpegEncoder() = default;

void LibjpegEncoder::prepare(const QByteArray& sourcePath, std::uint8_t quality, bool progressive, int restMs,
                             QSize previewBox)
{
    ahead_->prepare(sourcePath, quality, progressive, threads(), restMs, previews_ ? previewBox : QSize());
}

int LibjpegEncoder::threads() const { return threads_ > 0 ? threads_.load() : allEncodeThreads(); }

void LibjpegEncoder::cancelPrepared() { ahead_->cancel(); }

int LibjpegEncoder::pressesFromPrepared() const { return pressesFromPrepared_; }

void LibjpegEncoder::waitUntilIdle() { ahead_->waitUntilIdle(); }

std::int16_t LibjpegEncoder::SavetoJPEG(const QByteArray& sourcePath, QByteArray& destinationPath, std::uint8_t quality,
                                        bool progressive)
{
    const QString destination = QFile::decodeName(destinationPath);
    const QString what = QStringLiteral("SavetoJPEG: ") + destination;
    const std::optional<EncodeAhead::Encoded> prepared = ahead_->take(sourcePath, quality, progressive, threads());
    EncoderSource source;
    if (!prepared) {
        const QString name = QFile::decodeName(sourcePath);
        if (const MaybeProblem problem = source.read(name, held_))
            return sourceResult(logged(*problem, QStringLiteral("SavetoJPEG: ") + name));
    }

    // A temporary file beside the target replaces it only once complete; a failure
    // removes the temporary file and leaves any older file untouched.
    ReplacingFile output(destination);
    // The replacing file logs its own refusals and failures.
    if (const MaybeProblem refused = output.open())
        return encoderResult::fromFailure(refused->kind, DestinationUnwritable);
    MaybeProblem problem;
    if (!prepared)
        problem = encodeInto(output.device(), source.pixels(), quality, progressive, threads());
    else if (!output.writeAll(prepared->bytes))
        problem = Problem{FailureKind::WriteFailed, output.device().errorString()};
    if (problem)
        return encoderResult::fromFailure(logged(writeProblem(output, *problem), what).kind, EncodeFailed);
    if (const MaybeProblem failed = output.commit())
        return encoderResult::fromFailure(failed->kind, EncodeFailed);
    if (prepared) {
        if (previews_ && !prepared->preview.isNull())
            previews_->put(destination, prepared->bytes, prepared->previewBox, prepared->preview);
        ++pressesFromPrepared_;
    }
    return Written;
}

}  // namespace pelk
