#include "platform/real/ahead/bitmap_ahead.h"

#include "platform/real/pictures/picture_reader.h"

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
        QByteArray bitmap;
        const PictureRead read = readJpegAsBitmap(jpeg, &bitmap, &cancel);
        if (read.problem)
            return {{}, read.problem->failure()};
        return {std::move(bitmap), std::nullopt};
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
