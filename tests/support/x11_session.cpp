#include "support/x11_session.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace pelk::test {
namespace {

// Starts a program with DISPLAY set (when given), its output and errors to `out` (or
// nowhere),
// ended with the test if the test dies first. Everything is prepared before fork():
// the test may already run Qt's threads, so the child only calls exec-safe functions.
pid_t spawn(const QStringList& argv, const QString& display, int out = -1, int keep = -1)
{
    std::vector<QByteArray> args, env;
    for (const QString& a : argv)
        args.push_back(a.toLocal8Bit());
    for (char** e = environ; *e; ++e)
        if (qstrncmp(*e, "DISPLAY=", 8) != 0)
            env.emplace_back(*e);
    if (!display.isEmpty())
        env.push_back("DISPLAY=" + display.toLatin1());
    std::vector<char*> argp, envp;
    for (QByteArray& a : args)
        argp.push_back(a.data());
    argp.push_back(nullptr);
    for (QByteArray& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);

    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(null, STDIN_FILENO);
        dup2(out >= 0 ? out : null, STDOUT_FILENO);
        dup2(out >= 0 ? out : null, STDERR_FILENO);
        if (keep >= 0)
            fcntl(keep, F_SETFD, 0);
        execvpe(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    close(null);
    return pid;
}

void stopProcess(pid_t& pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 150; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        QThread::msleep(20);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

}  // namespace

bool X11Session::xvfbInstalled() { return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty(); }

QStringList X11Session::missingPrograms(const QStringList& programs)
{
    QStringList missing;
    for (const QString& program : programs)
        if (QStandardPaths::findExecutable(program).isEmpty())
            missing << program;
    return missing;
}

bool X11Session::start(QString* why)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *why = QStringLiteral("no pipe for Xvfb");
        return false;
    }
    // -displayfd: the server picks a free display and writes its number there.
    xvfb_ = spawn({"Xvfb", "-displayfd", QString::number(fds[1]), "-screen", "0", "1280x1024x24", "-dpi", "96",
                   "-nolisten", "tcp", "-noreset"},
                  {}, -1, fds[1]);
    close(fds[1]);
    QByteArray number;
    pollfd readable{fds[0], POLLIN, 0};
    while (!number.endsWith('\n') && poll(&readable, 1, 20000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1)
            break;
        number += c;
    }
    close(fds[0]);
    if (xvfb_ < 0 || number.trimmed().isEmpty()) {
        *why = QStringLiteral("Xvfb did not report a display");
        stop();
        return false;
    }
    display_ = QLatin1Char(':') + QString::fromLatin1(number.trimmed());

    windowManager_ = spawn({"openbox", "--sm-disable"}, display_);
    QElapsedTimer waited;
    waited.start();
    while (!runXClient(display_, {"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).contains(u"window id")) {
        const bool ended = waitpid(windowManager_, nullptr, WNOHANG) == windowManager_;
        if (ended)
            windowManager_ = -1;
        if (ended || waited.elapsed() > 20000) {
            *why = QStringLiteral("openbox did not come up on %1").arg(display_);
            stop();
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

void X11Session::stop()
{
    stopProcess(windowManager_);
    stopProcess(xvfb_);
}

QString runXClient(const QString& display, const QStringList& argv, int* status)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = spawn(argv, display, out[1]);
    close(out[1]);
    QByteArray text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR)
            continue;  // the test's event loop has signal handlers of its own
        if (n < 0)
            break;
        text.append(buffer, n);
    }
    close(out[0]);
    int waited = 0;
    bool ended = false;
    if (pid > 0) {
        pid_t r;
        while ((r = waitpid(pid, &waited, 0)) < 0 && errno == EINTR) { }
        ended = r == pid;
    }
    if (status)
        *status = ended && WIFEXITED(waited) ? WEXITSTATUS(waited) : -1;
    return QString::fromLocal8Bit(text);
}

int runOnPrivateX(int argc, char* argv[], const QStringList& programs,
                  const std::function<std::unique_ptr<QObject>(QString display, QString unavailable)>& make)
{
    X11Session x11;
    QString unavailable;
    if (const QStringList missing = X11Session::missingPrograms(programs); !missing.isEmpty())
        unavailable = QStringLiteral("not installed: %1 (scripts/packages-test.txt)").arg(missing.join(u", "));
    else if (x11.start(&unavailable)) {
        qputenv("DISPLAY", x11.display().toLatin1());
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    int result;
    {
        QApplication app(argc, argv);
        const std::unique_ptr<QObject> test = make(x11.display(), unavailable);
        result = QTest::qExec(test.get(), argc, argv);
    }
    x11.stop();
    return result;
}

}  // namespace pelk::test
