// Keys typed into the quality box on a real X server, as a keyboard sends them (XTest,
// through xdotool): X11 gives keys texts that Qt Test's keys do not carry (Delete is
// U+007F), AltGr composes characters, and the keypad follows NumLock.
#include "support/files.h"
#include "support/view_fixture.h"
#include "support/x11_session.h"

#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>

using namespace pelk;
using namespace pelk::test;

namespace {

constexpr quint32 shiftRightKeysym = 0xffe2;

// The keys the focused widget receives, for the report of a failing case, and the
// release of Shift_R, which ends each case: once Qt has delivered it, it has delivered
// every key sent before it.
class KeyLog : public QObject {
public:
    QStringList keys;
    bool ended = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != QApplication::focusWidget())
            return false;
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (event->type() == QEvent::KeyRelease)
            ended = ended || key->nativeVirtualKey() == shiftRightKeysym;
        else
            keys << QStringLiteral("key %1 modifiers %2 text %3")
                        .arg(key->key(), 0, 16)
                        .arg(int(key->modifiers()), 0, 16)
                        .arg(QString::fromLatin1(key->text().toUtf8().toHex(' ')));
        return false;
    }
};

}  // namespace

class KeysX11Test : public QObject {
    Q_OBJECT

public:
    KeysX11Test(QString display, QString unavailable)
        : display_(std::move(display)), unavailable_(std::move(unavailable))
    {
    }

private:
    QString display_;
    QString unavailable_;
    QTemporaryDir dir_;
    std::unique_ptr<WorkingDirectory> cwd_;

    // Runs an X client on the test's display; a failure to run fails the case.
    bool run(const QStringList& argv, QString* why) const
    {
        int status = -1;
        const QString said = runXClient(display_, argv, &status);
        if (status != 0)
            *why = QStringLiteral("%1 ended with %2: %3").arg(argv.join(u' ')).arg(status).arg(said);
        return status == 0;
    }

private slots:
    void initTestCase()
    {
        if (!unavailable_.isEmpty())
            QFAIL(qPrintable(unavailable_));
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        cwd_ = std::make_unique<WorkingDirectory>(dir_.path());
    }
    void cleanupTestCase() { cwd_.reset(); }

    // Each case starts from the box's text with the caret at its end (the slider at 50
    // before it, so an empty box leaves it there), and sends xdotool commands: `type`
    // for characters, `key` for key names or, for the keypad, X key codes, whose meaning
    // the NumLock state decides (xdotool would toggle NumLock itself for keypad names).
    // Cases whose keys must enter nothing end with a digit that must arrive.
    void keys_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("45, Home, Delete") << "us"
                                          << "" << QStringList{"type 45", "key Home Delete"} << "5" << 5;
        QTest::newRow("45, Home, Delete, 7: the caret stays")
            << "us"
            << "" << QStringList{"type 45", "key Home Delete", "type 7"} << "75" << 75;
        QTest::newRow("Backspace") << "us"
                                   << "45" << QStringList{"key BackSpace"} << "4" << 4;
        QTest::newRow("Ctrl+H, a backspace") << "us"
                                             << "45" << QStringList{"key ctrl+h"} << "4" << 4;
        QTest::newRow("letters, minus, blank, Return, Escape")
            << "us"
            << "" << QStringList{"type ab-", "key space Return Escape KP_Enter", "type 7"} << "7" << 7;
        QTest::newRow("keys that enter nothing: Insert, F2, arrows")
            << "us"
            << "4" << QStringList{"key Insert F2 Home End Left", "type 3"} << "34" << 34;
        QTest::newRow("keypad digits, NumLock on") << "us"
                                                   << "" << QStringList{"key Num_Lock 83 84 Num_Lock"} << "45" << 45;
        QTest::newRow("keypad signs and point, NumLock on")
            << "us"
            << "" << QStringList{"key Num_Lock 82 86 63 106 91 Num_Lock", "type 6"} << "6" << 6;
        QTest::newRow("keypad Home and Delete, NumLock off") << "us"
                                                             << "45" << QStringList{"key 79 91"} << "5" << 5;
        QTest::newRow("Alt and Super with letters") << "us"
                                                    << "" << QStringList{"key alt+q super+a", "type 2"} << "2" << 2;
        QTest::newRow("Ctrl+V, 7x on the clipboard") << "us"
                                                     << "" << QStringList{"key ctrl+v", "type 3"} << "3" << 3;
        QTest::newRow("AltGr+q, AltGr+7, AltGr+e on a German layout")
            << "de"
            << "" << QStringList{"key ISO_Level3_Shift+q ISO_Level3_Shift+7 ISO_Level3_Shift+e", "type 8"} << "8" << 8;
        QTest::newRow("digits on a German layout") << "de"
                                                   << "" << QStringList{"type 19"} << "19" << 19;
    }
    void keys()
    {
        QFETCH(QString, layout);
        QFETCH(QString, start);
        QFETCH(QStringList, commands);
        QFETCH(QString, text);
        QFETCH(int, value);
        QString why;
        QVERIFY2(run({"setxkbmap", layout}, &why), qPrintable(why));
        QGuiApplication::clipboard()->setText(QStringLiteral("7x"));

        ViewFixture f;
        f.model.Load();
        QVERIFY(f.showActive());
        f.model.HScroll1.setValue(50);
        f.model.Text2.setText(start);
        auto* edit = f.widget<QLineEdit>("Text2");
        edit->setFocus();
        edit->end(false);
        QTRY_COMPARE(QApplication::focusWidget(), edit);

        KeyLog log;
        qApp->installEventFilter(&log);
        for (const QString& command : commands)
            QVERIFY2(run(QStringList{"xdotool"} + command.split(u' '), &why), qPrintable(why));
        QVERIFY2(run({"xdotool", "key", "Shift_R"}, &why), qPrintable(why));
        QTRY_VERIFY2(log.ended, "the keys did not arrive");
        qApp->removeEventFilter(&log);

        if (edit->text() != text)
            qWarning("the box received:\n%s", qPrintable(log.keys.join(u'\n')));
        QCOMPARE(edit->text(), text);
        QCOMPARE(f.model.Text2.text(), text);
        QCOMPARE(f.widget<QScrollBar>("HScroll1")->value(), value);
        QCOMPARE(int(f.model.HScroll1.value()), value);
    }
};

int main(int argc, char* argv[])
{
    return runOnPrivateX(argc, argv, {"Xvfb", "openbox", "xdotool", "setxkbmap", "xprop"},
                         [](QString display, QString unavailable) {
                             return std::make_unique<KeysX11Test>(std::move(display), std::move(unavailable));
                         });
}

#include "test_keys_x11.moc"
