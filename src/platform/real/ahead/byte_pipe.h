#pragma once

#include "platform/real/jpeg/jpeg_source.h"

#include <QByteArray>
#include <QIODevice>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace pelk {

// The bytes an encode writes, kept for the file, and handed piece by piece, as they are
// written, to a decode on another thread. Writing never waits.
class BytePipe : public QIODevice, public ByteStream {
public:
    BytePipe();
    // No more bytes will come: the reader gets the end once it has had them all.
    void finish();
    // Every byte written, in one piece.
    QByteArray bytes() const;
    QByteArrayView next() override;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    mutable std::mutex mutex_;
    std::condition_variable written_;
    std::deque<QByteArray> pieces_;  // a piece's bytes never move once written
    size_t handedOut_ = 0;
    bool finished_ = false;
};

}  // namespace pelk
