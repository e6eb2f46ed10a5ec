#include "platform/real/ahead/byte_pipe.h"

namespace pelk {

BytePipe::BytePipe() { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

qint64 BytePipe::writeData(const char* data, qint64 size)
{
    if (size <= 0)
        return 0;
    QByteArray piece(data, size);
    {
        const std::lock_guard lock(mutex_);
        pieces_.push_back(std::move(piece));
    }
    written_.notify_all();
    return size;
}

void BytePipe::finish()
{
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
    }
    written_.notify_all();
}

QByteArrayView BytePipe::next()
{
    std::unique_lock lock(mutex_);
    written_.wait(lock, [this] { return finished_ || handedOut_ < pieces_.size(); });
    if (handedOut_ == pieces_.size())
        return {};
    return pieces_[handedOut_++];
}

QByteArray BytePipe::bytes() const
{
    const std::lock_guard lock(mutex_);
    qsizetype size = 0;
    for (const QByteArray& piece : pieces_)
        size += piece.size();
    QByteArray all;
    all.reserve(size);
    for (const QByteArray& piece : pieces_)
        all += piece;
    return all;
}

}  // namespace pelk
