#pragma once

#include <QLineEdit>
#include <cstdint>
#include <vector>

namespace pelk {

class TextBox;

// The quality number's box: every character it is about to enter, typed or committed by
// an input method, first goes through its text box's KeyPress, which may discard or change
// it; the box enters what is left. Keys that enter no character edit it as any text box.
class QualityBox : public QLineEdit {
    Q_OBJECT
public:
    explicit QualityBox(TextBox& box, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    void enter(const std::vector<std::int16_t>& codes);

    TextBox& box_;
};

}  // namespace pelk
