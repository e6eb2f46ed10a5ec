#include "platform/real/session/session_end.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include "platform/real/problem.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace pelk {

#ifdef Q_OS_UNIX
namespace {

constexpr int endSignals[] = {SIGTERM, SIGHUP, SIGINT};
int wakeFds[2] = {-1, -1};

void onSignal(int)
{
    // Only async-signal-safe calls here; a full pipe already holds a wake-up.
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFds[1], &byte, 1);
    errno = saved;
}

}  // namespace

SessionEndSignals::SessionEndSignals(std::function<void()> onEnd) : onEnd_(std::move(onEnd))
{
    if (::pipe(wakeFds) != 0) {
        // Without a pipe the signals keep their default: the program ends.
        logged(Problem{FailureKind::WriteFailed, QString::fromLocal8Bit(std::strerror(errno))},
               QStringLiteral("the session's end signals"));
        return;
    }
    for (int fd : wakeFds) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    notifier_ = std::make_unique<QSocketNotifier>(wakeFds[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        char drained[64];
        while (::read(wakeFds[0], drained, sizeof drained) > 0) { }
        if (onEnd_)
            onEnd_();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : endSignals)
        ::sigaction(sig, &action, nullptr);
}

SessionEndSignals::~SessionEndSignals()
{
    if (!notifier_)
        return;
    for (int sig : endSignals)
        ::signal(sig, SIG_DFL);
    notifier_.reset();
    for (int& fd : wakeFds) {
        ::close(fd);
        fd = -1;
    }
}
#else
// Elsewhere the session's end reaches the window as a close event of its own.
SessionEndSignals::SessionEndSignals(std::function<void()> onEnd) : onEnd_(std::move(onEnd)) { }
SessionEndSignals::~SessionEndSignals() = default;
#endif

}  // namespace pelk
