// The view's own widgets over a control of their own, apart from the window: the codes
// the quality box hands its key-press handler for each key, what it enters when the
// handler changes a code rather than discarding it, and the scroll bar's arrows in both
// writing directions.
#include "view/quality_box.h"
#include "view/scroll_bar.h"
#include "window/controls.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QTest>

using namespace pelk;

Q_DECLARE_METATYPE(QList<int>)

namespace {

Design design(ControlKind kind)
{
    Design d;
    d.kind = kind;
    return d;
}

// A handler that changes codes: a letter a enters 1, b enters a backspace, x is discarded.
void rewrite(std::int16_t& code)
{
    if (code == u'a')
        code = u'1';
    else if (code == u'b')
        code = 8;
    else if (code == u'x')
        code = 0;
}

}  // namespace

class ViewWidgetsTest : public QObject {
    Q_OBJECT

private slots:
    void codesHandedToKeyPress_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("codes");
        const int none = Qt::NoModifier;
        const int ctrl = Qt::ControlModifier;
        QTest::newRow("a digit") << int(Qt::Key_7) << none << "7" << QList<int>{'7'};
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << none << "\b" << QList<int>{8};
        QTest::newRow("Ctrl+Backspace") << int(Qt::Key_Backspace) << ctrl << "" << QList<int>{127};
        QTest::newRow("Return") << int(Qt::Key_Return) << none << "\r" << QList<int>{13};
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << "\r" << QList<int>{13};
        QTest::newRow("Escape") << int(Qt::Key_Escape) << none << "\x1b" << QList<int>{27};
        QTest::newRow("Ctrl+V") << int(Qt::Key_V) << ctrl << "\x16" << QList<int>{22};
        QTest::newRow("Ctrl+Shift+A") << int(Qt::Key_A) << int(Qt::ControlModifier | Qt::ShiftModifier) << ""
                                      << QList<int>{1};
        QTest::newRow("Delete enters nothing") << int(Qt::Key_Delete) << none << "\x7f" << QList<int>{};
        QTest::newRow("Tab enters nothing") << int(Qt::Key_Tab) << none << "\t" << QList<int>{};
        QTest::newRow("a character beyond 0x7FFF")
            << int(Qt::Key_unknown) << none << "５" << QList<int>{std::int16_t(0xFF15)};
        QTest::newRow("two units of one key")
            << int(Qt::Key_unknown) << none << "\U0001D7D3" << QList<int>{std::int16_t(0xD835), std::int16_t(0xDFD3)};
    }
    void codesHandedToKeyPress()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, text);
        QFETCH(QList<int>, codes);
        TextBox model(design(ControlKind::TextBox), QString(), 0);
        QList<int> seen;
        model.KeyPress = [&seen](std::int16_t& code) {
            seen << code;
            code = 0;
        };
        QualityBox box(model);
        QTest::sendKeyEvent(QTest::Press, &box, Qt::Key(key), text, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(seen, codes);
    }

    void changedCodesAreEntered_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("after");
        QTest::newRow("a changed character") << "2"
                                             << "a"
                                             << "21";
        QTest::newRow("a discarded one among kept ones") << ""
                                                         << "5x6"
                                                         << "56";
        QTest::newRow("a character changed into a backspace") << "12"
                                                              << "3b4"
                                                              << "124";
        QTest::newRow("backspaces only") << "123"
                                         << "bb"
                                         << "1";
        QTest::newRow("unchanged") << ""
                                   << "42"
                                   << "42";
    }
    void changedCodesAreEntered()
    {
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(QString, after);
        TextBox model(design(ControlKind::TextBox), QString(), 0);
        model.KeyPress = rewrite;
        QualityBox box(model);
        box.setText(before);
        // One key whose text is the whole run, as a compose sequence or a keyboard macro gives.
        QTest::sendKeyEvent(QTest::Press, &box, Qt::Key_unknown, typed, Qt::NoModifier);
        QCOMPARE(box.text(), after);
    }

    // A commit inserts only: a code changed into a backspace is dropped from it.
    void changedCommitIsEntered_data()
    {
        QTest::addColumn<QString>("commit");
        QTest::addColumn<QString>("after");
        QTest::newRow("changed and kept") << "a5"
                                          << "915";
        QTest::newRow("discarded and a backspace") << "xb7"
                                                   << "97";
    }
    void changedCommitIsEntered()
    {
        QFETCH(QString, commit);
        QFETCH(QString, after);
        TextBox model(design(ControlKind::TextBox), QString(), 0);
        model.KeyPress = rewrite;
        QualityBox box(model);
        box.setText(QStringLiteral("9"));
        QInputMethodEvent event;
        event.setCommitString(commit);
        QApplication::sendEvent(&box, &event);
        QCOMPARE(box.text(), after);
    }

    // The arrows move the thumb the way they point, as the bar is drawn in either direction.
    void arrowsMoveTheThumbTheirWay_data()
    {
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("value");
        QTest::newRow("left to right, Right") << int(Qt::LeftToRight) << int(Qt::Key_Right) << 51;
        QTest::newRow("left to right, Left") << int(Qt::LeftToRight) << int(Qt::Key_Left) << 49;
        QTest::newRow("right to left, Right") << int(Qt::RightToLeft) << int(Qt::Key_Right) << 49;
        QTest::newRow("right to left, Left") << int(Qt::RightToLeft) << int(Qt::Key_Left) << 51;
        QTest::newRow("Up is left to the bar (a step back)") << int(Qt::LeftToRight) << int(Qt::Key_Up) << 49;
    }
    void arrowsMoveTheThumbTheirWay()
    {
        QFETCH(int, direction);
        QFETCH(int, key);
        QFETCH(int, value);
        ScrollBar model(design(ControlKind::HScrollBar), 1, 99, 1, 1, 50);
        int changes = 0;
        model.Change = [&changes] { ++changes; };
        ScrollBarView bar(model);
        bar.setLayoutDirection(Qt::LayoutDirection(direction));
        QTest::keyClick(&bar, Qt::Key(key));
        QCOMPARE(bar.value(), value);
        QCOMPARE(int(model.value()), value);
        QCOMPARE(changes, 1);
    }
};

QTEST_MAIN(ViewWidgetsTest)
#include "test_view_widgets.moc"
