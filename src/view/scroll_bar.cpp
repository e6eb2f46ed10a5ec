#include "view/scroll_bar.h"

#include "window/controls.h"

#include <QKeyEvent>
#include <QSignalBlocker>

namespace pelk {

ScrollBarView::ScrollBarView(ScrollBar& bar, QWidget* parent) : QScrollBar(Qt::Horizontal, parent)
{
    setRange(bar.min(), bar.max());
    setSingleStep(bar.smallChange());
    setPageStep(bar.largeChange());
    setValue(bar.value());
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QScrollBar::sliderMoved, this, [&bar](int v) { bar.dragTo(v); });
    connect(this, &QScrollBar::sliderReleased, this, [&bar] { bar.endDrag(); });
    // Keys, arrow and track clicks; a drag reports through sliderMoved instead.
    connect(this, &QScrollBar::valueChanged, this, [this, &bar](int v) {
        if (!isSliderDown())
            bar.setValue(v);
    });
    bar.observe([this, &bar] {
        const QSignalBlocker blocker(this);
        if (value() != bar.value())
            setValue(bar.value());
    });
}

// A horizontal QScrollBar steps backwards on Left and Right (its controls are inverted
// for scrolling documents); the arrows must move the thumb their way.
void ScrollBarView::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key != Qt::Key_Left && key != Qt::Key_Right) {
        QScrollBar::keyPressEvent(event);
        return;
    }
    const bool forward = (key == Qt::Key_Right) != isRightToLeft();
    triggerAction(forward ? QAbstractSlider::SliderSingleStepAdd : QAbstractSlider::SliderSingleStepSub);
    event->accept();
}

}  // namespace pelk
