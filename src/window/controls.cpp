#include "window/controls.h"

#include "window/failure.h"

namespace pelk {
namespace {

// A value a control cannot take is refused before anything changes.
void refuseUnless(bool valid, int value)
{
    if (!valid)
        throw Failure(FailureKind::InvalidValue, QStringLiteral("Value %1").arg(value));
}

}  // namespace

Control::Control(Design design) : design_(std::move(design)), visible_(design_.visible) { }

void Control::setVisible(bool visible)
{
    if (visible_ == visible)
        return;
    visible_ = visible;
    changed();
}

void Control::changed()
{
    for (const Event& observer : observers_)
        observer();
}

TextBox::TextBox(Design design, QString text, int maxLength)
    : Control(std::move(design)), text_(std::move(text)), maxLength_(maxLength)
{
}

void TextBox::setText(const QString& text)
{
    const QString kept = maxLength_ > 0 ? text.left(maxLength_) : text;
    if (kept == text_)
        return;
    text_ = kept;
    changed();
    if (Change)
        Change();
}

void TextBox::setMaxLength(int length)
{
    if (length < 0)
        throw Failure(FailureKind::InvalidValue, QStringLiteral("MaxLength %1").arg(length));
    maxLength_ = length;
}

std::int16_t TextBox::keyPress(std::int16_t code)
{
    if (KeyPress)
        KeyPress(code);
    return code;
}

CaptionedControl::CaptionedControl(Design design, QString caption)
    : Control(std::move(design)), caption_(std::move(caption))
{
}

void CaptionedControl::setCaption(const QString& caption)
{
    if (caption_ == caption)
        return;
    caption_ = caption;
    changed();
}

void CommandButton::click()
{
    if (Click)
        Click();
}

CheckBox::CheckBox(Design design, QString caption) : Control(std::move(design)), caption_(std::move(caption)) { }

void CheckBox::setValue(int value)
{
    refuseUnless(value >= 0 && value <= 2, value);
    if (value_ == value)
        return;
    value_ = static_cast<std::int16_t>(value);
    changed();
    if (Click)
        Click();
}

void CheckBox::userClick() { setValue(value_ == 1 ? 0 : 1); }

ScrollBar::ScrollBar(Design design, int min, int max, int smallChange, int largeChange, int value)
    : Control(std::move(design)), min_(min), max_(max), smallChange_(smallChange), largeChange_(largeChange),
      value_(static_cast<std::int16_t>(value))
{
}

void ScrollBar::setValue(int value)
{
    refuseUnless(value >= min_ && value <= max_, value);
    if (value_ == value)
        return;
    value_ = static_cast<std::int16_t>(value);
    changed();
    if (Change)
        Change();
}

void ScrollBar::dragTo(int value)
{
    refuseUnless(value >= min_ && value <= max_, value);
    if (!dragging_) {
        dragging_ = true;
        dragStart_ = value_;
    }
    if (value_ != value) {
        value_ = static_cast<std::int16_t>(value);
        changed();
    }
    if (Scroll)
        Scroll();
}

void ScrollBar::endDrag()
{
    if (!dragging_)
        return;
    dragging_ = false;
    if (value_ != dragStart_ && Change)
        Change();
}

PictureBox::PictureBox(Design design) : Control(std::move(design)) { }

void PictureBox::setPicture(QImage picture)
{
    picture_ = std::move(picture);
    changed();
}

}  // namespace pelk
