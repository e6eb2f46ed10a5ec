#pragma once

#include "window/failure.h"

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace pelk {

// The bitmap file a press would write of a dropped JPEG, made off the window's thread from
// the bytes read at the drop, while the window shows a reduced decode of them: the full
// decode, then the file's bytes, so that the press only writes them.
class BitmapAhead {
public:
    explicit BitmapAhead(QByteArray jpeg);  // starts at once
    ~BitmapAhead();                         // stops the job and waits for it
    BitmapAhead(const BitmapAhead&) = delete;
    BitmapAhead& operator=(const BitmapAhead&) = delete;

    // The bitmap file's bytes, waiting for them when the job still runs. The read's
    // failure (as the picture service reports it), or WriteFailed when the bitmap could
    // not be made.
    const QByteArray& bytes();

private:
    struct Made {
        QByteArray bitmap;
        std::optional<Failure> failure;
    };
    static Made make(const QByteArray& jpeg, const std::atomic<bool>& cancel);

    std::atomic<bool> cancel_{false};
    std::mutex mutex_;
    std::condition_variable done_;
    std::optional<Made> made_;  // set once, by the job
    std::thread job_;
};

}  // namespace pelk
