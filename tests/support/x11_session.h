#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <sys/types.h>

class QObject;

// A private X server (Xvfb, on a display number it picks itself) with the openbox window
// manager, for tests that need a real window system. Both are started here and stopped
// by their own process ids.
namespace pelk::test {

class X11Session {
public:
    X11Session() = default;
    ~X11Session() { stop(); }
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    static bool xvfbInstalled();
    // The programs of the list that are not on the PATH.
    static QStringList missingPrograms(const QStringList& programs);

    // Starts both servers; false with the reason when either does not come up.
    bool start(QString* why);
    void stop();
    QString display() const { return display_; }

private:
    pid_t xvfb_ = -1;
    pid_t windowManager_ = -1;
    QString display_;
};

// Runs an X client (xprop, xwininfo) on the display and returns what it printed (output
// and errors); its exit status goes to `status` when given (-1: it did not end normally).
QString runXClient(const QString& display, const QStringList& argv, int* status = nullptr);

// The main() of a test program that runs on its own X server: starts one when all of
// `programs` are installed, makes Qt use it, and runs the test object that `make` builds
// from the display and, when there is none, the reason (the test then fails on it rather
// than passing unseen).
int runOnPrivateX(int argc, char* argv[], const QStringList& programs,
                  const std::function<std::unique_ptr<QObject>(QString display, QString unavailable)>& make);

}  // namespace pelk::test
