#pragma once

#include "platform/services.h"

#include <QPointer>
#include <QWidget>

namespace pelk {

// Stay-on-top through Qt: the flag is set on the native window only, so the window is
// neither hidden nor moved (QWidget::setWindowFlags would re-create it). Platforms that
// cannot keep a window on top simply ignore the flag.
class QtWindowSystem : public WindowSystem {
public:
    void setWindow(QWidget* window) { window_ = window; }
    void applyTopmost() override;

private:
    QPointer<QWidget> window_;
};

}  // namespace pelk
