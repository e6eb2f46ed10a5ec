#include "platform/real/ahead/bitmap_ahead.h"

#include "platform/real/pictures/picture_reader.h"

namespace pelk {

void BitmapAhead::start(QByteArray jpeg)
{
    made_.reset();
    job_.request({++drop_, std::move(jpeg)}, std::chrono::milliseconds(0));
}

void BitmapAhead::cancel()
{
    made_.reset();
    job_.cancel();
}

std::optional<BitmapAhead::Made> BitmapAhead::make(const Request& request, const std::atomic<bool>& cancel)
{
    try {
        QByteArray bitmap;
        const PictureRead read = readJpegAsBitmap(request.jpeg, &bitmap, &cancel);
        if (read.problem)
            return Made{{}, read.problem->failure()};
        return Made{std::move(bitmap), std::nullopt};
    } catch (const std::bad_alloc&) {
        return Made{{}, Failure(FailureKind::WriteFailed, QStringLiteral("no memory for the bitmap"))};
    }
}

const QByteArray& BitmapAhead::bytes()
{
    if (!made_)
        made_ = job_.take({drop_, {}});
    if (!made_)
        throw Failure(FailureKind::WriteFailed, QStringLiteral("the full picture is no longer held"));
    if (made_->failure)
        throw *made_->failure;
    return made_->bitmap;
}

}  // namespace pelk
