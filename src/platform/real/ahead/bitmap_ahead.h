#pragma once

#include "platform/real/ahead/background_job.h"
#include "window/failure.h"

#include <QByteArray>

#include <optional>

namespace pelk {

// The bitmap file a press would write of a dropped JPEG, made off the window's thread from
// the bytes read at the drop, while the window shows a reduced decode of them: the full
// decode, then the file's bytes, so that the press only writes them.
class BitmapAhead {
public:
    // Starts on the bytes of a new drop; what was made or is being made for an earlier
    // drop is dropped.
    void start(QByteArray jpeg);
    // Drops what was made or is being made: no drop's bitmap is held any more.
    void cancel();
    // The bitmap file's bytes of the latest drop, waiting for them when the job still
    // runs. The read's failure (as the picture service reports it), or WriteFailed when
    // the bitmap could not be made or is no longer held.
    const QByteArray& bytes();
    // Returns once no job runs.
    void waitUntilIdle() { job_.waitUntilIdle(); }

private:
    struct Request {
        quint64 drop = 0;
        QByteArray jpeg;
        // Drops are told apart by their number: comparing megabytes would tell nothing more.
        bool operator==(const Request& other) const { return drop == other.drop; }
    };
    struct Made {
        QByteArray bitmap;
        std::optional<Failure> failure;
    };
    static std::optional<Made> make(const Request& request, const std::atomic<bool>& cancel);

    quint64 drop_ = 0;
    std::optional<Made> made_;  // the latest drop's, once taken: a press may write it again
    BackgroundJob<Request, Made> job_{&BitmapAhead::make};
};

}  // namespace pelk
