#include "app/program.h"

#include "app/wiring.h"

#include <QApplication>
#include <cstdlib>

namespace pelk {
namespace {

Program* running = nullptr;

}  // namespace

// The end of the session closes every window as its close button would: the window's
// unload event saves the settings, and the event loop ends normally.
Program::Program() : window_(model_), sessionEnd_([] { QApplication::closeAllWindows(); })
{
    connectHandlers(model_, platform_);
    if (auto unload = std::move(model_.Unload)) {
        model_.Unload = [this, unload](std::int16_t& cancel) {
            unload(cancel);
            if (!cancel)
                unloaded_ = true;
        };
    }
    messages_.setParent(&window_);
    windowSystem_.setWindow(&window_);
    running = this;
    static const bool registered = std::atexit(&Program::atExit) == 0;
    (void)registered;
}

Program::~Program()
{
    if (running == this)
        running = nullptr;
}

void Program::start()
{
    if (model_.Load)
        model_.Load();
    window_.show();
}

void Program::atExit()
{
    if (running)
        running->unloadAtExit();
}

void Program::unloadAtExit()
{
    if (unloaded_ || !model_.Unload)
        return;
    unloaded_ = true;
    std::int16_t cancel = 0;
    try {
        model_.Unload(cancel);
    } catch (...) {
        // Nothing can be told any more: the process is ending.
    }
}

}  // namespace pelk
