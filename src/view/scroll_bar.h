#pragma once

#include <QScrollBar>

namespace pelk {

class ScrollBar;

// A horizontal scroll bar showing its control: the user's moves go to the control (a drag
// as a drag, keys and clicks as values), and the control's value comes back.
class ScrollBarView : public QScrollBar {
    Q_OBJECT
public:
    explicit ScrollBarView(ScrollBar& bar, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace pelk
