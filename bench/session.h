#pragma once

#include "platform/real/real_platform.h"
#include "platform/services.h"
#include "view/main_window.h"
#include "window/window_model.h"

#include <QStringList>
#include <functional>
#include <memory>

// The program under test, headless, and the waits a user feels in it.
namespace pelk::bench {

class SilentMessages : public MessageBoxService {
public:
    void show(const QString& text, const QString&) override { shown << text; }
    QStringList shown;
};

class NoWindowSystem : public WindowSystem {
public:
    void applyTopmost() override { }
};

// The model with every handler connected to the real picture service, file service and
// encoder, and (unless model-only) the real window over it, shown off screen.
class Session {
public:
    // What the handlers are given in place of the real platform: the same services, or
    // others around them (to time each call).
    using Wrap = std::function<Platform(const Platform& real)>;

    explicit Session(bool withView, const Wrap& wrap = {});

    // A drop, up to the preview being painted.
    void drop(const QString& path);
    // A press of the convert button, up to the output preview being painted. The
    // completion message is the only sign that the conversion worked.
    void press();
    // The quality at the yardsticks' 75 and the progressive option, as the user sets them.
    void setOptions(int progressive);

    RealServices real;
    LibjpegEncoder& encoder = real.encoder;
    SilentMessages messages;
    NoWindowSystem windowSystem;
    Platform platform;  // the handlers' platform
    WindowModel model;
    std::unique_ptr<MainWindow> window;
};

// The drop of `source`, timed; `reset`, a tiny picture, is dropped first (untimed) so that
// nothing of an earlier repetition is still held.
double timedDrop(Session& s, const QString& reset, const QString& source);

// The press, timed, after the drop of `source` (untimed), as a user drops and then presses.
double timedPress(Session& s, const QString& reset, const QString& source, int progressive);

// The drop of `source` and a press right after it, timed together from the drop to the
// press's end: the whole wait of a user who presses as soon as the picture shows.
double timedDropAndPress(Session& s, const QString& reset, const QString& source, int progressive);

// The press as a user makes it: the options set, the file dropped, a second spent looking
// at it, then the button. Meanwhile a bitmap is encoded ahead, or a JPEG's bitmap made; the
// press must write what was made.
double timedPressAfterLooking(Session& s, const QString& reset, const QString& source, int progressive);

}  // namespace pelk::bench
