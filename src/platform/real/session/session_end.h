#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace pelk {

// The signals with which a desktop session ends its programs (SIGTERM from the session
// manager or logind, SIGHUP when the session or terminal goes away, SIGINT from a
// terminal) become a call of `onEnd` on the thread that runs the event loop, so that
// the program can close as by its close button instead of dying mid-way. The signal
// handler only writes a byte into a pipe; the event loop reads it. One instance at a
// time; the default handling comes back when it is destroyed.
class SessionEndSignals {
public:
    explicit SessionEndSignals(std::function<void()> onEnd);
    ~SessionEndSignals();
    SessionEndSignals(const SessionEndSignals&) = delete;
    SessionEndSignals& operator=(const SessionEndSignals&) = delete;

private:
    std::function<void()> onEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace pelk
