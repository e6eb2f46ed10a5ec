#include "platform/widgets/qt_window_system.h"

#include <QWindow>

namespace pelk {

void QtWindowSystem::applyTopmost()
{
    if (!window_)
        return;
    window_->winId();  // the native window must exist to carry the flag
    QWindow* handle = window_->windowHandle();
    if (!handle)
        return;
    // The widget's own copy of the flags, so that a later show() keeps the state;
    // overrideWindowFlags leaves the native window alone.
    window_->overrideWindowFlags(window_->windowFlags() | Qt::WindowStaysOnTopHint);
    handle->setFlag(Qt::WindowStaysOnTopHint, true);
    if (!window_->isVisible())
        window_->show();
}

}  // namespace pelk
