// Every failure a handler traps is logged at debug level in the program's category, never
// as a warning: the user who asks why can see it, nobody else is bothered.
#include "app/wiring.h"
#include "support/fakes.h"
#include "support/files.h"
#include "window/window_model.h"

#include <QDir>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

using namespace pelk;
using namespace pelk::test;

namespace {

struct Logged {
    QtMsgType type;
    QString category;
    QString text;
};
std::vector<Logged> logged;

void record(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    logged.push_back({type, QString::fromLatin1(context.category), text});
}

}  // namespace

class QuietFailuresTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<WorkingDirectory> cwd;
    QtMessageHandler previous = nullptr;

private slots:
    void init()
    {
        cwd = std::make_unique<WorkingDirectory>(dir.path());
        logged.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("pelk17.problems.debug=true"));
        previous = qInstallMessageHandler(record);
    }
    void cleanup()
    {
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        cwd.reset();
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
    }

    void trappedFailuresAreLogged_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("logs");  // what the logged line says
        QTest::addColumn<int>("messages");  // what the user was shown meanwhile
        QTest::newRow("Pelk.ini cannot be saved") << "unload"
                                                  << "Pelk.ini not saved" << 0;
        QTest::newRow("Pelk.ini is a folder") << "load from a folder"
                                              << "Pelk.ini not read" << 0;
        QTest::newRow("a check line is no value") << "load a bad line"
                                                  << "no check-box value" << 0;
        QTest::newRow("the slider refuses 0") << "type 0"
                                              << "the slider keeps its value" << 0;
        QTest::newRow("a press without a quality") << "press without a quality"
                                                   << "press failed" << 0;
        QTest::newRow("nothing to encode ahead") << "drop without a quality"
                                                 << "nothing to encode ahead" << 0;
        QTest::newRow("a refused drop") << "drop a missing file"
                                        << "drop refused" << 1;
        QTest::newRow("an untrapped failure") << "refused topmost"
                                              << "an event ended" << 0;
    }
    void trappedFailuresAreLogged()
    {
        QFETCH(QString, event);
        QFETCH(QString, logs);
        QFETCH(int, messages);
        FakePlatform f;
        WindowModel w;
        connectHandlers(w, f.platform);
        f.pictures.pictures.insert(QStringLiteral("/a.bmp"), photoLike(4, 4));
        f.files.lengths.insert(QStringLiteral("/a.bmp"), 4);
        if (event == u"unload") {
            f.files.failWrites = true;
            std::int16_t cancel = 0;
            w.Unload(cancel);
        } else if (event == u"load from a folder") {
            QVERIFY(QDir().mkdir(QStringLiteral("Pelk.ini")));
            w.Load();
        } else if (event == u"load a bad line") {
            writeBytes(QStringLiteral("Pelk.ini"), "50\r\n x \r\n 0 \r\n");
            w.Load();
        } else if (event == u"type 0") {
            w.Text2.setText(QStringLiteral("0"));
        } else if (event == u"press without a quality") {
            w.Command1.click();
        } else if (event == u"drop without a quality") {
            w.OLEDragDrop(DropData{true, {QStringLiteral("/a.bmp")}});
        } else if (event == u"drop a missing file") {
            w.OLEDragDrop(DropData{true, {QStringLiteral("/missing.bmp")}});
        } else if (event == u"refused topmost") {
            f.windowSystem.fail = true;
            w.Check2.setValue(1);
        } else {
            QFAIL("no such event");
        }
        QCOMPARE(int(f.messages.shown.size()), messages);
        bool found = false;
        for (const Logged& line : logged) {
            QVERIFY2(line.type == QtDebugMsg, qPrintable(line.text));
            QCOMPARE(line.category, QStringLiteral("pelk17.problems"));
            found = found || line.text.contains(logs);
        }
        QVERIFY2(found, qPrintable(logs));
    }

    // Off by default: nothing reaches the log unless it is turned on.
    void silentByDefault()
    {
        QLoggingCategory::setFilterRules(QString());
        FakePlatform f;
        WindowModel w;
        connectHandlers(w, f.platform);
        f.files.failWrites = true;
        std::int16_t cancel = 0;
        w.Unload(cancel);
        QCOMPARE(int(logged.size()), 0);
    }
};

QTEST_GUILESS_MAIN(QuietFailuresTest)
#include "test_quiet_failures.moc"
