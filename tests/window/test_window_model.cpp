// The control behaviours the handlers rely on: cut texts, refused values, events only on
// real change, click handlers on program assignment.
#include "support/failures.h"
#include "window/failure.h"
#include "window/window_model.h"

#include <QTest>

using namespace pelk;
using pelk::test::thrownKind;

class WindowModelTest : public QObject {
    Q_OBJECT

private slots:
    void textFieldCutsToItsMaximumLength()
    {
        WindowModel w;
        w.Text5.setMaxLength(11);
        w.Text5.setText(QStringLiteral("C:\\pics\\cat.bmp"));
        QCOMPARE(w.Text5.text(), QStringLiteral("C:\\pics\\cat"));

        w.Text5.setMaxLength(0);
        w.Text5.setText(QStringLiteral("C:\\pics\\cat.bmp"));
        QCOMPARE(w.Text5.text(), QStringLiteral("C:\\pics\\cat.bmp"));

        QCOMPARE(thrownKind([&] { w.Text5.setMaxLength(-1); }), FailureKind::InvalidValue);
        QCOMPARE(w.Text5.maxLength(), 0);
        QCOMPARE(w.Text5.text(), QStringLiteral("C:\\pics\\cat.bmp"));
    }

    void lengthsCountUtf16Units()
    {
        WindowModel w;
        w.Text2.setText(QStringLiteral("123"));
        QCOMPARE(w.Text2.text(), QStringLiteral("12"));
        w.Text5.setMaxLength(3);
        w.Text5.setText(QStringLiteral("a😀b"));  // the emoji is two UTF-16 units
        QCOMPARE(w.Text5.text().size(), 3);
        QCOMPARE(w.Text1.maxLength(), 500);
        w.Text1.setText(QString(600, u'x'));
        QCOMPARE(w.Text1.text().size(), 500);
    }

    void textChangeOnlyOnRealChange()
    {
        WindowModel w;
        int changes = 0;
        w.Text2.Change = [&] { ++changes; };
        w.Text2.setText(QStringLiteral("42"));
        w.Text2.setText(QStringLiteral("42"));
        w.Text2.setText(QStringLiteral("421"));  // cut to the same "42"
        QCOMPARE(changes, 1);
        w.Text2.setText(QString());
        QCOMPARE(changes, 2);
    }

    void keyPressMayDiscardTheKey()
    {
        WindowModel w;
        QCOMPARE(w.Text2.keyPress(u'x'), std::int16_t(u'x'));  // no handler: as typed
        w.Text2.KeyPress = [](std::int16_t& code) { code = 0; };
        QCOMPARE(w.Text2.keyPress(u'x'), std::int16_t(0));
    }

    void scrollBarRefusesValuesOutsideItsRange()
    {
        WindowModel w;
        QCOMPARE(w.HScroll1.value(), 50);
        int changes = 0;
        w.HScroll1.Change = [&] { ++changes; };
        for (int bad : {0, 100, -1, 32767}) {
            QVERIFY2(thrownKind([&] { w.HScroll1.setValue(bad); }) == FailureKind::InvalidValue,
                     qPrintable(QStringLiteral("%1 was not refused").arg(bad)));
        }
        QCOMPARE(w.HScroll1.value(), 50);
        QCOMPARE(changes, 0);
        w.HScroll1.setValue(1);
        w.HScroll1.setValue(99);
        w.HScroll1.setValue(99);
        QCOMPARE(w.HScroll1.value(), 99);
        QCOMPARE(changes, 2);
    }

    void draggingRaisesScrollThenOneChange()
    {
        WindowModel w;
        int scrolls = 0, changes = 0;
        w.HScroll1.Scroll = [&] { ++scrolls; };
        w.HScroll1.Change = [&] { ++changes; };
        w.HScroll1.dragTo(51);
        w.HScroll1.dragTo(52);
        QCOMPARE(w.HScroll1.value(), 52);
        QCOMPARE(scrolls, 2);
        QCOMPARE(changes, 0);
        w.HScroll1.endDrag();
        QCOMPARE(changes, 1);

        // A drag that comes back where it began changes nothing.
        w.HScroll1.dragTo(60);
        w.HScroll1.dragTo(52);
        w.HScroll1.endDrag();
        QCOMPARE(changes, 1);
    }

    void checkBoxValuesAndClickOnAssignment()
    {
        WindowModel w;
        int clicks = 0;
        w.Check2.Click = [&] { ++clicks; };
        w.Check2.setValue(1);
        w.Check2.setValue(1);
        w.Check2.setValue(2);
        QCOMPARE(clicks, 2);
        QCOMPARE(w.Check2.value(), 2);
        for (int bad : {-1, 3, 255}) {
            QVERIFY_THROWS_EXCEPTION(Failure, w.Check2.setValue(bad));
            QCOMPARE(w.Check2.value(), 2);
        }
        QCOMPARE(clicks, 2);
        w.Check2.userClick();  // grayed → set
        QCOMPARE(w.Check2.value(), 1);
        w.Check2.userClick();
        QCOMPARE(w.Check2.value(), 0);
        QCOMPARE(clicks, 4);
    }

    void observersSeeProgramChanges()
    {
        WindowModel w;
        int seen = 0;
        w.Label1.observe([&] { ++seen; });
        w.HScroll1.observe([&] { ++seen; });
        w.Label1.setCaption(QStringLiteral("x"));
        w.Label1.setCaption(QStringLiteral("x"));
        w.HScroll1.setVisible(false);
        QCOMPARE(seen, 2);
    }

    void designState()
    {
        WindowModel w;
        QCOMPARE(int(w.controls().size()), 18);
        // The hidden working fields start with their own names and no limit.
        for (TextBox* field : {&w.Text3, &w.Text4, &w.Text5}) {
            QVERIFY(!field->visible());
            QCOMPARE(field->text(), field->name());
            QCOMPARE(field->maxLength(), 0);
        }
        QCOMPARE(w.Check1.caption().size(), 10);
        QCOMPARE(w.Check1.caption().at(3), QChar(u'"'));
        QCOMPARE(w.Label8.caption().size(), 28);
        QCOMPARE(w.Label1.caption().back(), QChar(0x3000));
        QCOMPARE(w.Label4.caption().at(6), QChar(0x30A3));  // a small ィ
        // Every position and size is whole pixels at 96 dpi.
        for (Control* c : w.controls()) {
            const Twips t = c->design().twips;
            for (int v : {t.left, t.top, t.width, t.height})
                QVERIFY2(v % twipsPerPixel == 0, qPrintable(c->name()));
        }
        int designFonts = 0;
        for (Control* c : w.controls())
            designFonts += c->design().designFont;
        QCOMPARE(designFonts, 5);
    }
};

QTEST_GUILESS_MAIN(WindowModelTest)
#include "test_window_model.moc"
