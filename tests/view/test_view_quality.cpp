// The quality number box and the scroll bar through the real widgets: keys typed into
// the box and input-method commits, keys and drags on the bar, and the check boxes
// showing the model's state.
#include "support/files.h"
#include "support/view_fixture.h"

#include <QCheckBox>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>

using namespace pelk;
using namespace pelk::test;

namespace {

// Keys as a user types them: characters, or a few named keys in angle brackets.
void type(QLineEdit* edit, const QStringList& keys)
{
    for (const QString& key : keys) {
        if (key == u"<selectall>")
            edit->selectAll();
        else if (key == u"<end>")
            QTest::keyClick(edit, Qt::Key_End);
        else if (key == u"<home>")
            QTest::keyClick(edit, Qt::Key_Home);
        else if (key == u"<bs>")
            QTest::keyClick(edit, Qt::Key_Backspace);
        else if (key == u"<del>")
            QTest::keyClick(edit, Qt::Key_Delete);
        else if (key == u"<enter>")
            QTest::keyClick(edit, Qt::Key_Return);
        else if (key == u"<ctrl-bs>")
            QTest::keyClick(edit, Qt::Key_Backspace, Qt::ControlModifier);
        else if (key == u"<ctrl-v>")
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        else if (key.size() == 1 && key.at(0).unicode() > 0xFF) {  // beyond what keyClicks takes
            QTest::sendKeyEvent(QTest::Press, edit, Qt::Key_unknown, key, Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, edit, Qt::Key_unknown, key, Qt::NoModifier);
        } else
            QTest::keyClicks(edit, key);
    }
}

// The box looks the same once any composition is ended: nothing was being shown.
bool showsNoComposition(QLineEdit* edit)
{
    const QImage shown = edit->grab().toImage();
    QInputMethodEvent end;
    QApplication::sendEvent(edit, &end);
    return edit->grab().toImage() == shown;
}

QRect thumbOf(QScrollBar* bar)
{
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    option.upsideDown = bar->invertedAppearance();
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar);
}

}  // namespace

class ViewQualityTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<WorkingDirectory> cwd;

    // The window after start-up without a settings file: quality 50 in both controls.
    std::unique_ptr<ViewFixture> started()
    {
        QFile::remove(dir.filePath(QStringLiteral("Pelk.ini")));
        auto f = std::make_unique<ViewFixture>();
        f->model.Load();
        if (!f->showActive())
            qFatal("the window did not become active");
        return f;
    }

private slots:
    void initTestCase() { cwd = std::make_unique<WorkingDirectory>(dir.path()); }
    void cleanupTestCase() { cwd.reset(); }

    void startUpShowsTheSliderValue()
    {
        auto f = started();
        QCOMPARE(f->widget<QLineEdit>("Text2")->text(), QStringLiteral("50"));
        QCOMPARE(f->widget<QScrollBar>("HScroll1")->value(), 50);
    }

    void typing_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("4 then 2") << 50 << QStringList{"<selectall>", "4", "2"} << "42" << 42;
        QTest::newRow("0 then 7, bar already at 7") << 7 << QStringList{"<selectall>", "0", "7"} << "07" << 7;
        QTest::newRow("0 then 7, bar elsewhere") << 50 << QStringList{"<selectall>", "0", "7"} << "7" << 7;
        QTest::newRow("delete both digits") << 50 << QStringList{"<end>", "<bs>", "<bs>"} << "" << 5;
        QTest::newRow("Delete at the start, then a digit there")
            << 50 << QStringList{"<home>", "<del>", "7"} << "70" << 70;
        QTest::newRow("select all, Delete") << 50 << QStringList{"<selectall>", "<del>"} << "" << 50;
        QTest::newRow("0 alone") << 50 << QStringList{"<selectall>", "0"} << "0" << 50;
        QTest::newRow("00") << 50 << QStringList{"<selectall>", "0", "0"} << "00" << 50;
        QTest::newRow("a letter over the selection") << 50 << QStringList{"<selectall>", "a"} << "50" << 50;
        QTest::newRow("a capital letter") << 50 << QStringList{"<end>", "<bs>", "Z"} << "5" << 5;
        QTest::newRow("minus") << 50 << QStringList{"<end>", "<bs>", "<home>", "-"} << "5" << 5;
        QTest::newRow("a blank") << 50 << QStringList{"<end>", "<bs>", " "} << "5" << 5;
        QTest::newRow("a full-width digit") << 50 << QStringList{"<selectall>", "４"} << "50" << 50;
        QTest::newRow("Enter") << 50 << QStringList{"<end>", "<bs>", "<enter>", "3"} << "53" << 53;
        QTest::newRow("Ctrl+V") << 50 << QStringList{"<selectall>", "<ctrl-v>"} << "50" << 50;
        QTest::newRow("Ctrl+Backspace") << 50 << QStringList{"<end>", "<ctrl-bs>"} << "50" << 50;
        QTest::newRow("a third digit") << 50 << QStringList{"<end>", "7"} << "50" << 50;
        QTest::newRow("99 then a third digit") << 50 << QStringList{"<selectall>", "9", "9", "1"} << "99" << 99;
    }
    void typing()
    {
        QFETCH(int, start);
        QFETCH(QStringList, keys);
        QFETCH(QString, text);
        QFETCH(int, value);
        QGuiApplication::clipboard()->setText(QStringLiteral("12"));
        auto f = started();
        f->model.HScroll1.setValue(start);
        auto* edit = f->widget<QLineEdit>("Text2");
        edit->setFocus();
        QCOMPARE(edit->text(), QString::number(start));

        type(edit, keys);
        QCOMPARE(edit->text(), text);
        QCOMPARE(f->model.Text2.text(), text);
        QCOMPARE(f->widget<QScrollBar>("HScroll1")->value(), value);
        QCOMPARE(int(f->model.HScroll1.value()), value);
    }

    // An input method commits without a key press (a Japanese one commits full-width
    // digits or kana): the commit is filtered like typed characters, and its composition
    // is not shown in the box.
    void inputMethodCommit_data()
    {
        QTest::addColumn<QString>("commit");
        QTest::addColumn<QString>("preedit");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("full-width digits") << "５０"
                                           << ""
                                           << "" << 7;
        QTest::newRow("digits among a letter, composing kana") << "5a0"
                                                               << "ご"
                                                               << "50" << 50;
        QTest::newRow("kana being composed") << ""
                                             << "ごじゅう"
                                             << "" << 7;
        QTest::newRow("half-width katakana, a digit") << "ｱ3"
                                                      << ""
                                                      << "3" << 3;
        QTest::newRow("a digit beyond 16 bits") << "\U0001D7D3"
                                                << ""
                                                << "" << 7;
        QTest::newRow("two digits") << "42"
                                    << ""
                                    << "42" << 42;
    }
    void inputMethodCommit()
    {
        QFETCH(QString, commit);
        QFETCH(QString, preedit);
        QFETCH(QString, text);
        QFETCH(int, value);
        auto f = started();
        f->model.HScroll1.setValue(7);
        f->model.Text2.setText(QString());
        auto* edit = f->widget<QLineEdit>("Text2");
        QCOMPARE(int(f->model.HScroll1.value()), 7);

        QInputMethodEvent event(preedit, {});
        event.setCommitString(commit);
        QApplication::sendEvent(edit, &event);
        QCOMPARE(edit->text(), text);
        QCOMPARE(f->model.Text2.text(), text);
        QCOMPARE(f->widget<QScrollBar>("HScroll1")->value(), value);
        QVERIFY2(showsNoComposition(edit), "the box shows what is being composed");

        // The same composition does show in a box without the filter, so the look can tell.
        auto* path = f->widget<QLineEdit>("Text1");
        QInputMethodEvent composing(QStringLiteral("ご"), {});
        QApplication::sendEvent(path, &composing);
        QVERIFY(!showsNoComposition(path));
    }

    // Ctrl+V is a real paste shortcut in a box without the filter; in the quality box
    // it is discarded, while the context menu's paste is not filtered.
    void pasteOnlyThroughTheMenu()
    {
        QGuiApplication::clipboard()->setText(QStringLiteral("8"));
        auto f = started();
        auto* path = f->widget<QLineEdit>("Text1");
        path->setFocus();
        QTest::keyClick(path, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(path->text(), QStringLiteral("8"));
        QCOMPARE(f->model.Text1.text(), QStringLiteral("8"));

        auto* edit = f->widget<QLineEdit>("Text2");
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), QStringLiteral("50"));

        edit->selectAll();
        std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
        QAction* paste = nullptr;
        for (QAction* action : menu->actions())
            if (action->text().contains(QStringLiteral("Paste")))
                paste = action;
        QVERIFY(paste);
        QVERIFY(paste->isEnabled());
        paste->trigger();
        QCOMPARE(edit->text(), QStringLiteral("8"));
        QCOMPARE(f->widget<QScrollBar>("HScroll1")->value(), 8);
    }

    void barKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("Home: the minimum") << int(Qt::Key_Home) << "1";
        QTest::newRow("End: the maximum") << int(Qt::Key_End) << "99";
        QTest::newRow("Right: one step") << int(Qt::Key_Right) << "51";
        QTest::newRow("Left: one step") << int(Qt::Key_Left) << "49";
        QTest::newRow("PageDown: one large step right") << int(Qt::Key_PageDown) << "51";
        QTest::newRow("PageUp: one large step left") << int(Qt::Key_PageUp) << "49";
    }
    void barKeys()
    {
        QFETCH(int, key);
        QFETCH(QString, text);
        auto f = started();
        auto* bar = f->widget<QScrollBar>("HScroll1");
        bar->setFocus();
        QCOMPARE(QApplication::focusWidget(), bar);
        QTest::keyClick(bar, Qt::Key(key));
        QCOMPARE(f->widget<QLineEdit>("Text2")->text(), text);
        QCOMPARE(QString::number(f->model.HScroll1.value()), text);
        QVERIFY(!f->model.HScroll1.dragging());
    }

    void barEndsByMouse()
    {
        auto f = started();
        auto* bar = f->widget<QScrollBar>("HScroll1");
        auto* edit = f->widget<QLineEdit>("Text2");
        // Dragging the thumb past either end of the track.
        const QPoint grip = thumbOf(bar).center();
        QTest::mousePress(bar, Qt::LeftButton, {}, grip);
        QTest::mouseMove(bar, QPoint(bar->width() + 40, grip.y()));
        QCOMPARE(edit->text(), QStringLiteral("99"));
        QTest::mouseMove(bar, QPoint(-40, grip.y()));
        QCOMPARE(edit->text(), QStringLiteral("1"));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(-40, grip.y()));
        QCOMPARE(int(f->model.HScroll1.value()), 1);
        QVERIFY(!f->model.HScroll1.dragging());
    }

    // The box follows the thumb on every step of a drag, not only when it is released.
    void dragFollowsEveryStep()
    {
        auto f = started();
        auto* bar = f->widget<QScrollBar>("HScroll1");
        auto* edit = f->widget<QLineEdit>("Text2");
        int changes = 0;
        f->model.HScroll1.observe([&] { ++changes; });
        // Count the bar's two events on the way to their handlers: a drag raises Scroll
        // on each move and a single Change when the thumb is released.
        int scrollEvents = 0, changeEvents = 0;
        const Event scroll = f->model.HScroll1.Scroll, change = f->model.HScroll1.Change;
        f->model.HScroll1.Scroll = [&] {
            ++scrollEvents;
            scroll();
        };
        f->model.HScroll1.Change = [&] {
            ++changeEvents;
            change();
        };

        const QRect thumb = thumbOf(bar);
        QTest::mousePress(bar, Qt::LeftButton, {}, thumb.center());
        QVERIFY(bar->isSliderDown());
        QStringList seen;
        int last = bar->value();
        for (int dx = 6; dx <= 30; dx += 6) {
            QTest::mouseMove(bar, thumb.center() + QPoint(dx, 0));
            QVERIFY(f->model.HScroll1.dragging());
            QVERIFY2(bar->value() > last, "the thumb did not move");
            last = bar->value();
            QCOMPARE(edit->text(), QString::number(bar->value()));
            seen << edit->text();
        }
        QCOMPARE(changeEvents, 0);
        QVERIFY(scrollEvents >= 5);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, thumb.center() + QPoint(30, 0));
        QVERIFY(!f->model.HScroll1.dragging());
        QCOMPARE(changeEvents, 1);
        QCOMPARE(seen.size(), 5);
        QCOMPARE(seen.last(), QString::number(last));
        QCOMPARE(int(f->model.HScroll1.value()), last);
        QVERIFY(changes >= 5);
    }

    void checkBoxesShowTheModel_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("afterClick");
        for (const char* box : {"Check1", "Check2"}) {
            QTest::addRow("%s cleared", box) << box << 0 << int(Qt::Unchecked) << 1;
            QTest::addRow("%s set", box) << box << 1 << int(Qt::Checked) << 0;
            QTest::addRow("%s grayed", box) << box << 2 << int(Qt::PartiallyChecked) << 1;
        }
    }
    void checkBoxesShowTheModel()
    {
        QFETCH(QString, name);
        QFETCH(int, value);
        QFETCH(int, state);
        QFETCH(int, afterClick);
        auto f = started();
        auto& model = name == u"Check1" ? f->model.Check1 : f->model.Check2;
        auto* box = f->widget<QCheckBox>(name);
        model.setValue(value);
        QCOMPARE(int(box->checkState()), state);
        const int topmostBefore = f->platform.windowSystem.topmostCalls;

        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        QCOMPARE(int(model.value()), afterClick);
        QCOMPARE(int(box->checkState()), afterClick == 1 ? int(Qt::Checked) : int(Qt::Unchecked));
        // Only setting the always-on-top box asks for the window on top.
        const bool asked = name == u"Check2" && afterClick == 1;
        QCOMPARE(f->platform.windowSystem.topmostCalls, topmostBefore + (asked ? 1 : 0));

        QTest::keyClick(box, Qt::Key_Space);
        QCOMPARE(int(model.value()), afterClick == 1 ? 0 : 1);
    }

    // Closing the window saves what the box shows.
    void closingSavesTheQuality()
    {
        auto f = started();
        auto* edit = f->widget<QLineEdit>("Text2");
        edit->setFocus();
        type(edit, {"<selectall>", "3", "6"});
        QVERIFY(f->window->close());
        const QByteArray saved = readBytes(dir.filePath(QStringLiteral("Pelk.ini")));
        QVERIFY2(saved.startsWith("36\r\n"), saved.constData());
    }
};

QTEST_MAIN(ViewQualityTest)
#include "test_view_quality.moc"
