// Start-up over real settings files on the fake platform, shut-down, the always-on-top box and the version box.
#include "app/wiring.h"
#include "form/version.h"
#include "form/window_options.h"
#include "support/fakes.h"
#include "support/files.h"
#include "window/window_model.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pelk;
using namespace pelk::test;

class StartupTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<WorkingDirectory> cwd;

private slots:
    void init()
    {
        QFile::remove(dir.filePath(QStringLiteral("Pelk.ini")));
        cwd = std::make_unique<WorkingDirectory>(dir.path());
    }
    void cleanup() { cwd.reset(); }

    void formLoad_data()
    {
        QTest::addColumn<QByteArray>("file");  // null: no Pelk.ini
        QTest::addColumn<QString>("text2");
        QTest::addColumn<int>("check1");
        QTest::addColumn<int>("check2");
        QTest::addColumn<int>("topmostCalls");
        QTest::newRow("no file") << QByteArray() << "50" << 0 << 0 << 0;
        QTest::newRow("full valid file") << QByteArray("75\r\n 1 \r\n 0 \r\n") << "75" << 1 << 0 << 0;
        QTest::newRow("150") << QByteArray("150\r\n 0 \r\n 0 \r\n") << "15" << 0 << 0 << 0;
        QTest::newRow("-5") << QByteArray("-5\r\n 0 \r\n 0 \r\n") << "50" << 0 << 0 << 0;
        QTest::newRow("empty line 1") << QByteArray("\r\n 0 \r\n 0 \r\n") << "50" << 0 << 0 << 0;
        QTest::newRow("grayed line 2") << QByteArray("30\r\n 2 \r\n 0 \r\n") << "30" << 2 << 0 << 0;
        QTest::newRow("invalid line 2, line 3 of 1") << QByteArray("30\r\n 7 \r\n 1 \r\n") << "30" << 0 << 0 << 0;
        // Set by the load (its click handler applies it) and once more by the last step.
        QTest::newRow("line 3 of 1") << QByteArray("30\r\n 0 \r\n 1 \r\n") << "30" << 0 << 1 << 2;
        QTest::newRow("two lines only") << QByteArray("30\r\n 1 \r\n") << "50" << 0 << 0 << 0;
    }
    void formLoad()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, text2);
        QFETCH(int, check1);
        QFETCH(int, check2);
        QFETCH(int, topmostCalls);
        if (!file.isNull())
            writeBytes(QStringLiteral("Pelk.ini"), file);
        FakePlatform t;
        WindowModel w;
        connectHandlers(w, t.platform);
        w.Load();
        QCOMPARE(w.Text2.text(), text2);
        QCOMPARE(QString::number(w.HScroll1.value()), text2);  // both show the same number
        QCOMPARE(int(w.Check1.value()), check1);
        QCOMPARE(int(w.Check2.value()), check2);
        QCOMPARE(t.windowSystem.topmostCalls, topmostCalls);
        QVERIFY(t.messages.shown.empty());  // start-up shows nothing
        if (!file.isNull())
            QCOMPARE(readBytes(QStringLiteral("Pelk.ini")), file);  // loading never writes
    }

    void shutDownSavesAndNeverCancels()
    {
        FakePlatform t;
        WindowModel w;
        connectHandlers(w, t.platform);
        w.Load();
        w.Text2.setText(QStringLiteral("42"));
        w.Check1.setValue(1);
        std::int16_t cancel = 0;
        w.Unload(cancel);
        QCOMPARE(cancel, std::int16_t(0));
        QCOMPARE(readBytes(QStringLiteral("Pelk.ini")), QByteArray("42\r\n 1 \r\n 0 \r\n"));

        // The next start restores it.
        FakePlatform t2;
        WindowModel again;
        connectHandlers(again, t2.platform);
        again.Load();
        QCOMPARE(again.Text2.text(), QStringLiteral("42"));
        QCOMPARE(int(again.HScroll1.value()), 42);
        QCOMPARE(int(again.Check1.value()), 1);
    }

    void shutDownWithAFailedWriteKeepsTheOldFile()
    {
        const QByteArray old("11\r\n 0 \r\n 1 \r\n");
        writeBytes(QStringLiteral("Pelk.ini"), old);
        FakePlatform t;
        t.files.failWrites = true;
        WindowModel w;
        connectHandlers(w, t.platform);
        w.Load();
        w.Text2.setText(QStringLiteral("88"));
        std::int16_t cancel = 0;
        w.Unload(cancel);
        QCOMPARE(cancel, std::int16_t(0));
        QVERIFY(t.messages.shown.empty());
        QCOMPARE(t.files.replaced, QStringList{QStringLiteral("Pelk.ini")});
        QCOMPARE(readBytes(QStringLiteral("Pelk.ini")), old);
    }

    void theAlwaysOnTopBox()
    {
        FakePlatform t;
        WindowModel w;
        connectHandlers(w, t.platform);
        w.Load();
        QCOMPARE(t.windowSystem.topmostCalls, 0);
        w.Check2.userClick();  // set: topmost at once
        QCOMPARE(t.windowSystem.topmostCalls, 1);
        w.Check2.userClick();  // cleared: nothing is taken back
        QCOMPARE(t.windowSystem.topmostCalls, 1);
        w.Check2.setValue(2);  // grayed: nothing
        QCOMPARE(t.windowSystem.topmostCalls, 1);
        w.Check2.setValue(1);  // set again: applied again, harmlessly
        QCOMPARE(t.windowSystem.topmostCalls, 2);

        // The cleared state reaches the file and the next start is not topmost.
        w.Check2.setValue(0);
        std::int16_t cancel = 0;
        w.Unload(cancel);
        FakePlatform t2;
        WindowModel next;
        connectHandlers(next, t2.platform);
        next.Load();
        QCOMPARE(t2.windowSystem.topmostCalls, 0);
    }

    // A failure no handler traps ends the event the user raised, and nothing more: it
    // never reaches the window's event loop, and the next event runs as usual.
    void anUntrappedFailureEndsOnlyItsEvent()
    {
        FakePlatform t;
        WindowModel w;
        connectHandlers(w, t.platform);
        w.Load();
        t.windowSystem.fail = true;
        w.Check2.userClick();  // Check2_Click fails inside applyTopmost
        QCOMPARE(t.windowSystem.topmostCalls, 1);
        QCOMPARE(int(w.Check2.value()), 1);  // the box's own change stands
        int shown = 0;
        t.messages.onShow = [&shown] {
            if (++shown == 1)
                throw Failure(FailureKind::InvalidValue, QStringLiteral("the box could not open"));
        };
        w.mnuVer.Click();
        w.mnuVer.Click();  // the window goes on: the second opens
        QCOMPARE(shown, 2);
        // A load whose last step fails still leaves what it applied.
        writeBytes(QStringLiteral("Pelk.ini"), QByteArray("30\r\n 1 \r\n 1 \r\n"));
        WindowModel again;
        connectHandlers(again, t.platform);
        again.Load();
        QCOMPARE(again.Text2.text(), QStringLiteral("30"));
        QCOMPARE(int(again.Check1.value()), 1);
        QCOMPARE(int(again.Check2.value()), 1);
    }

    void theVersionBox()
    {
        FakePlatform t;
        WindowModel w;
        connectHandlers(w, t.platform);
        w.mnuVer.Click();
        QCOMPARE(t.messages.shown.size(), size_t(1));
        const QString text = t.messages.shown[0].text;
        QCOMPARE(t.messages.shown[0].title, QStringLiteral("Pelk情報"));
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QStringLiteral("Pelk Ver%1.%2").arg(version::major).arg(version::minor));
        QCOMPARE(lines[0], QStringLiteral("Pelk Ver17.0"));  // the build's version is 17.0
        QCOMPARE(lines[1], QString());
        QVERIFY(lines[2].contains(QString::fromUtf16(version::legalNotice)));
        QVERIFY(!lines[2].isEmpty());
    }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "test_startup.moc"
