#pragma once

#include "platform/real/real_platform.h"
#include "platform/real/session/session_end.h"
#include "platform/services.h"
#include "platform/widgets/qt_message_box.h"
#include "platform/widgets/qt_window_system.h"
#include "view/main_window.h"
#include "window/window_model.h"

namespace pelk {

// The running program: the real platform, the window model with every handler connected,
// and the window that shows it. Needs a QApplication.
class Program {
public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The load event, then the first show (the load may show the window itself, when it
    // puts it on top).
    void start();

    MainWindow& window() { return window_; }
    WindowModel& model() { return model_; }

private:
    // The unload event once, however the program ends: closed by the user or by the end
    // of the session, or ended by the window system through exit() (Qt does that when
    // the X connection breaks).
    void unloadAtExit();
    static void atExit();

    RealServices real_;
    QtMessageBox messages_;
    QtWindowSystem windowSystem_;
    Platform platform_{real_.pictures, real_.files, messages_, windowSystem_, real_.encoder};
    WindowModel model_;
    MainWindow window_;
    bool unloaded_ = false;
    SessionEndSignals sessionEnd_;
};

}  // namespace pelk
