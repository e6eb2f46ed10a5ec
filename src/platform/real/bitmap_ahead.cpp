#include "platform/real/bitmap_ahead.h"

#include "platform/real/bmp_format.h"
#include "platform/real/picture_reader.h"

#include <QBuffer>

namespace pelk {

BitmapAhead::BitmapAhead(QByteArray jpeg)
    : job_([this, jpeg = std::move(jpeg)] {
          Made made = make(jpeg, cancel_);
          const std::lock_guard lock(mutex_);
          made_ = std::move(made);
          done_.notify_all();
      })
{
}

BitmapAhead::~BitmapAhead()
{
    cancel_ = true;
    job_.join();
}

BitmapAhead::Made BitmapAhead::make(const QByteArray& jpeg, const std::atomic<bool>& cancel)
{
    try {
        PictureRead read = readJpeg(jpeg, {}, &cancel);
        if (read.problem != ReadProblem::None)
            return {{}, failureOf(read)};
        QBuffer buffer;
        // Room for the whole file at once: a 48-megapixel bitmap grown step by step would
        // be copied over and over.
        const QImage& picture = read.picture;
        buffer.buffer().reserve(qsizetype(qMin<qint64>(54 + 1024 + bmpStride(picture.width(), 24) * picture.height(),
                                                       std::numeric_limits<qsizetype>::max() / 2)));
        if (!buffer.open(QIODevice::WriteOnly) || !writeBitmapFile(picture, buffer))
            return {{}, Failure(FailureKind::WriteFailed, QStringLiteral("the bitmap could not be made"))};
        return {std::move(buffer.buffer()), std::nullopt};
    } catch (const std::bad_alloc&) {
        return {{}, Failure(FailureKind::WriteFailed, QStringLiteral("no memory for the bitmap"))};
    }
}

const QByteArray& BitmapAhead::bytes()
{
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return made_.has_value(); });
    if (made_->failure)
        throw *made_->failure;
    return made_->bitmap;
}

}  // namespace pelk
