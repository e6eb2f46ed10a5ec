#pragma once

#include "window/drop_data.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

// The controls of the window runtime, without widgets: each holds its design values and
// the behaviours the handlers rely on (cut text, refused values, the events they raise).
// The one window built of them is in window_model.h.
namespace pelk {

struct Twips {
    int left, top, width, height;
};

// The design is laid out in twips; the window is drawn at 96 dots per inch.
inline constexpr int twipsPerPixel = 15;
inline QRect pixels(const Twips& t)
{
    return {t.left / twipsPerPixel, t.top / twipsPerPixel, t.width / twipsPerPixel, t.height / twipsPerPixel};
}

enum class ControlKind { PushButton, HScrollBar, Label, TextBox, CheckBox, PictureBox };
enum class Align { Left, Center, Right };
// Backgrounds: the window's (the platform's menu colour), white, or the platform's own
// colour for that kind of control.
enum class Fill { Window, White, Platform };

struct Design {
    QString name;
    ControlKind kind = ControlKind::Label;
    Twips twips{};
    int tabIndex = -1;  // -1: the control has no place in the tab sequence
    bool visible = true;
    QString toolTip;
    QString accessibleName;  // what a screen reader names a control without a caption
    bool designFont = false;
    bool redText = false;
    Fill fill = Fill::Platform;
    Align align = Align::Left;
    bool sunken = false;
};

using Event = std::function<void()>;

class Control {
public:
    explicit Control(Design design);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const Design& design() const { return design_; }
    const QString& name() const { return design_.name; }

    bool visible() const { return visible_; }
    void setVisible(bool visible);

    // Called after every change a user could see (for the view); not an event handler.
    void observe(Event observer) { observers_.push_back(std::move(observer)); }

protected:
    void changed();

private:
    Design design_;
    bool visible_;
    std::vector<Event> observers_;
};

class TextBox : public Control {
public:
    TextBox(Design design, QString text, int maxLength);

    const QString& text() const { return text_; }
    // Keeps the first maxLength() UTF-16 units when the maximum length is not 0;
    // raises Change only when the kept text differs from the old one.
    void setText(const QString& text);

    int maxLength() const { return maxLength_; }
    // 0 means no limit; a negative length is Failure(InvalidValue) and changes nothing.
    void setMaxLength(int length);

    // A character key about to enter the box: runs KeyPress with the code, which it may
    // change; returns the code to enter (0: the key is discarded).
    std::int16_t keyPress(std::int16_t code);

    Event Change;
    std::function<void(std::int16_t&)> KeyPress;

private:
    QString text_;
    int maxLength_;
};

// A control showing a caption the program may change.
class CaptionedControl : public Control {
public:
    CaptionedControl(Design design, QString caption);
    const QString& caption() const { return caption_; }
    void setCaption(const QString& caption);

private:
    QString caption_;
};

class Label : public CaptionedControl {
public:
    using CaptionedControl::CaptionedControl;
};

class CommandButton : public CaptionedControl {
public:
    using CaptionedControl::CaptionedControl;
    void click();  // the user pressed the button

    Event Click;
};

class CheckBox : public Control {
public:
    CheckBox(Design design, QString caption);
    const QString& caption() const { return caption_; }

    std::int16_t value() const { return value_; }
    // 0 cleared, 1 set, 2 grayed; anything else is Failure(InvalidValue). A change of
    // value, by the user or by the program, raises Click.
    void setValue(int value);
    void userClick();  // a click of the user: set when not set, cleared when set

    Event Click;

private:
    QString caption_;
    std::int16_t value_ = 0;
};

class ScrollBar : public Control {
public:
    ScrollBar(Design design, int min, int max, int smallChange, int largeChange, int value);

    int min() const { return min_; }
    int max() const { return max_; }
    int smallChange() const { return smallChange_; }
    int largeChange() const { return largeChange_; }
    std::int16_t value() const { return value_; }
    // A value outside min..max is Failure(InvalidValue) and changes nothing; Change is
    // raised only when the value really changes.
    void setValue(int value);
    // The user drags the thumb: the value follows and Scroll is raised on each move;
    // releasing it raises Change when the value differs from where the drag began.
    void dragTo(int value);
    void endDrag();
    bool dragging() const { return dragging_; }

    Event Change;
    Event Scroll;

private:
    int min_, max_, smallChange_, largeChange_;
    std::int16_t value_;
    bool dragging_ = false;
    std::int16_t dragStart_ = 0;
};

class PictureBox : public Control {
public:
    explicit PictureBox(Design design);
    const QImage& picture() const { return picture_; }
    void setPicture(QImage picture);

    std::function<void(const DropData&)> OLEDragDrop;

private:
    QImage picture_;
};

struct MenuItem {
    QString name;
    QString caption;
    Event Click;
};

}  // namespace pelk
