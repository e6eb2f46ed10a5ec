#include "view/quality_box.h"

#include "window/controls.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

namespace pelk {
namespace {

// The character codes a key enters into a text box, one per UTF-16 unit, as the window
// runtime passes them to a key-press handler; none for keys that enter no character
// (arrows, Delete, Tab), which the box handles as any text box does.
std::vector<std::int16_t> characterCodes(const QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:  // X11 gives it the text U+007F, yet it deletes, it enters nothing
        return {};
    case Qt::Key_Backspace:
        // With Ctrl it enters DEL, a control key like any other (the box alone would
        // delete a word with it).
        return {std::int16_t((event->modifiers() & Qt::ControlModifier) ? 127 : 8)};
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return {13};
    case Qt::Key_Escape:
        return {27};
    default:
        break;
    }
    const Qt::KeyboardModifiers mods = event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    // Ctrl+letter is a control character (Ctrl+V is 22): the edit shortcuts are keys too.
    if (mods == Qt::ControlModifier && event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z)
        return {static_cast<std::int16_t>(event->key() - Qt::Key_A + 1)};
    // Whatever the modifiers (AltGr, Alt, a compose sequence), the text is what would be
    // entered. Codes above 0x7FFF arrive negative, as a 16-bit character code does.
    std::vector<std::int16_t> codes;
    for (const QChar c : event->text())
        codes.push_back(static_cast<std::int16_t>(c.unicode()));
    return codes;
}

}  // namespace

QualityBox::QualityBox(TextBox& box, QWidget* parent) : QLineEdit(parent), box_(box)
{
    setInputMethodHints(Qt::ImhDigitsOnly);  // a virtual keyboard offers digits
}

void QualityBox::keyPressEvent(QKeyEvent* event)
{
    const std::vector<std::int16_t> codes = characterCodes(event);
    if (codes.empty()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    std::vector<std::int16_t> kept;
    for (const std::int16_t code : codes)
        if (const std::int16_t entered = box_.keyPress(code); entered != 0)
            kept.push_back(entered);
    // With Ctrl held the box would enter nothing itself (Ctrl+H is a backspace here).
    if (kept == codes && (event->key() == Qt::Key_Backspace || !(event->modifiers() & Qt::ControlModifier))) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    enter(kept);
    event->accept();
}

// Enters the codes as keys of their own: runs of characters as typed text, a backspace as
// the Backspace key.
void QualityBox::enter(const std::vector<std::int16_t>& codes)
{
    QString run;
    auto enterRun = [&] {
        if (run.isEmpty())
            return;
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, run);
        QLineEdit::keyPressEvent(&key);
        run.clear();
    };
    for (const std::int16_t code : codes) {
        if (code != 8) {
            run += QChar(static_cast<char16_t>(code));
            continue;
        }
        enterRun();
        QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"));
        QLineEdit::keyPressEvent(&backspace);
    }
    enterRun();
}

// An input method commits characters without a key press; they are filtered as typed
// ones. Its composition is not shown either: most of it would be discarded at commit.
void QualityBox::inputMethodEvent(QInputMethodEvent* event)
{
    QString kept;
    for (const QChar c : event->commitString()) {
        const std::int16_t entered = box_.keyPress(static_cast<std::int16_t>(c.unicode()));
        if (entered != 0 && entered != 8)  // a commit inserts: a backspace has no text
            kept += QChar(static_cast<char16_t>(entered));
    }
    QInputMethodEvent filtered(QString(), {});
    filtered.setCommitString(kept, event->replacementStart(), event->replacementLength());
    QLineEdit::inputMethodEvent(&filtered);
    event->setAccepted(filtered.isAccepted());
}

}  // namespace pelk
