#include "platform/widgets/qt_window_system.h"

#include <QWindow>

namespace pelk {

void QtWindowSystem::applyTopmost()
{
    if (!window_)
        return;
    // The widget keeps its own copy of the flags so that a later show() keeps the state;
    // overrideWindowFlags leaves the native window alone.
    window_->overrideWindowFlags(window_->windowFlags() | Qt::WindowStaysOnTopHint);
    // A native window that exists already is told at once. One that does not yet exist
    // (start-up, before the first show) is created by show() below with the flag set,
    // rather than created now and re-created by Qt when the flag changes before mapping.
    if (QWindow* handle = window_->windowHandle())
        handle->setFlag(Qt::WindowStaysOnTopHint, true);
    if (!window_->isVisible())
        window_->show();
}

}  // namespace pelk
