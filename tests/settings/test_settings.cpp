// "Pelk.ini": byte-exact saves, the load table, odd files, and a write that fails.
#include "convert/quality.h"
#include "settings/settings_file.h"
#include "support/fakes.h"
#include "support/files.h"
#include "window/window_model.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pelk;
using namespace pelk::test;

namespace {

// The model with the quality coupling connected, as the running window has it.
struct Window {
    WindowModel w;
    Window()
    {
        w.HScroll1.Change = [this] { HScroll1_Change(w); };
        w.Text2.Change = [this] { Text2_Change(w); };
    }
};

QByteArray ini() { return readBytes(QStringLiteral("Pelk.ini")); }

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<WorkingDirectory> cwd;
    FakeFileService files;

private slots:
    void init()
    {
        QFile::remove(dir.filePath(QStringLiteral("Pelk.ini")));
        cwd = std::make_unique<WorkingDirectory>(dir.path());
        files.replaced.clear();
        files.failWrites = false;
    }
    void cleanup() { cwd.reset(); }

    void saveWritesTheExactBytes_data()
    {
        QTest::addColumn<QString>("quality");
        QTest::addColumn<int>("progressive");
        QTest::addColumn<int>("topmost");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("example") << "75" << 0 << 1 << QByteArray::fromHex("37350D0A2030200D0A2031200D0A");
        QTest::newRow("empty quality") << "" << 1 << 0 << QByteArray("\r\n 1 \r\n 0 \r\n");
        QTest::newRow("grayed") << "07" << 2 << 2 << QByteArray("07\r\n 2 \r\n 2 \r\n");
    }
    void saveWritesTheExactBytes()
    {
        QFETCH(QString, quality);
        QFETCH(int, progressive);
        QFETCH(int, topmost);
        QFETCH(QByteArray, bytes);
        WindowModel w;
        w.Text2.setText(quality);
        w.Check1.setValue(progressive);
        w.Check2.setValue(topmost);
        saveSettings(w, files);
        QCOMPARE(ini(), bytes);
        // Two saves of unchanged controls write identical bytes.
        saveSettings(w, files);
        QCOMPARE(ini(), bytes);
    }

    void saveThenLoadRoundTripsEveryCheckBoxState()
    {
        for (int progressive : {0, 1, 2}) {
            for (int topmost : {0, 1, 2}) {
                Window a;
                a.w.Text2.setText(QStringLiteral("33"));
                a.w.Check1.setValue(progressive);
                a.w.Check2.setValue(topmost);
                saveSettings(a.w, files);
                Window b;
                loadSettings(b.w, files);
                QCOMPARE(b.w.Text2.text(), QStringLiteral("33"));
                QCOMPARE(int(b.w.HScroll1.value()), 33);
                QCOMPARE(int(b.w.Check1.value()), progressive);
                QCOMPARE(int(b.w.Check2.value()), topmost);
            }
        }
    }

    void loadTable_data()
    {
        QTest::addColumn<QByteArray>("file");  // null: no file
        QTest::addColumn<QString>("text2");
        QTest::addColumn<int>("scroll");
        QTest::addColumn<int>("check1");
        QTest::addColumn<int>("check2");
        // Design state: Text2 "" / 50 / 0 / 0.
        QTest::newRow("missing") << QByteArray() << "" << 50 << 0 << 0;
        QTest::newRow("empty file") << QByteArray("") << "" << 50 << 0 << 0;
        QTest::newRow("one line") << QByteArray("75\r\n") << "" << 50 << 0 << 0;
        QTest::newRow("two lines") << QByteArray("75\r\n 1 \r\n") << "" << 50 << 0 << 0;
        QTest::newRow("all valid") << QByteArray("75\r\n 1 \r\n 2 \r\n") << "75" << 75 << 1 << 2;
        QTest::newRow("last line without end") << QByteArray("75\r\n 1 \r\n 1 ") << "75" << 75 << 1 << 1;
        QTest::newRow("bad line 2") << QByteArray("75\r\nx\r\n 1 \r\n") << "75" << 75 << 0 << 0;
        QTest::newRow("line 2 out of range") << QByteArray("75\r\n 3 \r\n 1 \r\n") << "75" << 75 << 0 << 0;
        QTest::newRow("line 2 beyond 16 bits") << QByteArray("75\r\n 99999 \r\n 1 \r\n") << "75" << 75 << 0 << 0;
        QTest::newRow("empty line 2") << QByteArray("75\r\n\r\n 1 \r\n") << "75" << 75 << 0 << 0;
        QTest::newRow("bad line 3") << QByteArray("75\r\n 1 \r\nabc\r\n") << "75" << 75 << 1 << 0;
        QTest::newRow("empty line 3") << QByteArray("75\r\n 1 \r\n\r\n") << "75" << 75 << 1 << 0;
        QTest::newRow("150") << QByteArray("150\r\n 0 \r\n 0 \r\n") << "15" << 15 << 0 << 0;
        QTest::newRow("-5") << QByteArray("-5\r\n 0 \r\n 0 \r\n") << "-5" << 50 << 0 << 0;
        QTest::newRow("empty line 1") << QByteArray("\r\n 0 \r\n 1 \r\n") << "0" << 50 << 0 << 1;
        QTest::newRow("abc") << QByteArray("abc\r\n 0 \r\n 0 \r\n") << "0" << 50 << 0 << 0;
        QTest::newRow("7.5x") << QByteArray("  7.5x\r\n 0 \r\n 0 \r\n") << "7" << 7 << 0 << 0;
        QTest::newRow("7.5x, then a bad line 3") << QByteArray("  7.5x\r\n 1 \r\nzz\r\n") << "7" << 7 << 1 << 0;
        QTest::newRow("CR only") << QByteArray("42\r 1 \r 1 \r") << "42" << 42 << 1 << 1;
        QTest::newRow("LF only") << QByteArray("42\n 1 \n 1 \n") << "42" << 42 << 1 << 1;
        QTest::newRow("plain digits") << QByteArray("9\r\n1\r\n2\r\n") << "9" << 9 << 1 << 2;
        QTest::newRow("fraction in line 2 rounds") << QByteArray("9\r\n1.4\r\n0\r\n") << "9" << 9 << 1 << 0;
        QTest::newRow("fourth line ignored") << QByteArray("20\r\n 1 \r\n 0 \r\ngarbage\r\n") << "20" << 20 << 1 << 0;
    }
    void loadTable()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, text2);
        QFETCH(int, scroll);
        QFETCH(int, check1);
        QFETCH(int, check2);
        if (!file.isNull())
            writeBytes(QStringLiteral("Pelk.ini"), file);
        Window window;
        loadSettings(window.w, files);
        QCOMPARE(window.w.Text2.text(), text2);
        QCOMPARE(int(window.w.HScroll1.value()), scroll);
        QCOMPARE(int(window.w.Check1.value()), check1);
        QCOMPARE(int(window.w.Check2.value()), check2);
    }

    void aCheckBoxSetByTheLoadRunsItsClickHandler()
    {
        writeBytes(QStringLiteral("Pelk.ini"), QByteArray("50\r\n 0 \r\n 1 \r\n"));
        WindowModel w;
        int clicks = 0;
        w.Check2.Click = [&] { ++clicks; };
        loadSettings(w, files);
        QCOMPARE(clicks, 1);
    }

    void aFourthLineIsGoneAfterTheNextSave()
    {
        writeBytes(QStringLiteral("Pelk.ini"), QByteArray("20\r\n 1 \r\n 0 \r\nmore\r\nlines\r\n"));
        Window window;
        loadSettings(window.w, files);
        saveSettings(window.w, files);
        QCOMPARE(ini(), QByteArray("20\r\n 1 \r\n 0 \r\n"));
    }

    void aShortFileIsRewrittenWithThreeLines()
    {
        writeBytes(QStringLiteral("Pelk.ini"), QByteArray("75\r\n"));
        Window window;
        loadSettings(window.w, files);
        window.w.Text2.setText(QStringLiteral("60"));
        saveSettings(window.w, files);
        QCOMPARE(ini(), QByteArray("60\r\n 0 \r\n 0 \r\n"));
    }

    // Only the first 4096 bytes are read: three lines within them are applied whatever
    // follows, a line that runs past them makes the file one of fewer than three lines.
    void onlyTheStartOfAHugeFileIsRead_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QString>("text2");
        QTest::addColumn<int>("check1");
        QTest::addColumn<int>("check2");
        QTest::newRow("one huge line") << QByteArray(8 * 1024 * 1024, 'x') + "\r\n 1 \r\n 1 \r\n"
                                       << QByteArray() << QString() << 0 << 0;
        QTest::newRow("three lines, then a huge one")
            << QByteArray("42\r\n 1 \r\n 1 \r\n") << QByteArray(8 * 1024 * 1024, 'x') << QStringLiteral("42") << 1 << 1;
        QTest::newRow("third line cut at the bound") << QByteArray("42\r\n 1 \r\n") + QByteArray(4096 - 9, ' ')
                                                     << QByteArray("1\r\n") << QStringLiteral("42") << 1 << 0;
    }
    void onlyTheStartOfAHugeFileIsRead()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, tail);
        QFETCH(QString, text2);
        QFETCH(int, check1);
        QFETCH(int, check2);
        writeBytes(QStringLiteral("Pelk.ini"), head + tail);
        Window window;
        loadSettings(window.w, files);
        QCOMPARE(window.w.Text2.text(), text2);
        QCOMPARE(int(window.w.Check1.value()), check1);
        QCOMPARE(int(window.w.Check2.value()), check2);
    }

    // A refused or failed write (the road's reasons are tested with it) is no failure of
    // the save: it returns normally and the old file stays.
    void aFailedWriteKeepsTheOldFile()
    {
        const QByteArray old("11\r\n 0 \r\n 0 \r\n");
        writeBytes(QStringLiteral("Pelk.ini"), old);
        files.failWrites = true;
        WindowModel w;
        w.Text2.setText(QStringLiteral("99"));
        saveSettings(w, files);  // returns normally
        QCOMPARE(files.replaced, QStringList{QStringLiteral("Pelk.ini")});
        QCOMPARE(ini(), old);
    }

    void aDirectoryNamedPelkIniIsLeftAlone()
    {
        QDir().mkdir(QStringLiteral("Pelk.ini"));
        Window window;
        loadSettings(window.w, files);  // nothing to read, nothing thrown
        QCOMPARE(int(window.w.HScroll1.value()), 50);
        saveSettings(window.w, files);
        QVERIFY(QFileInfo(QStringLiteral("Pelk.ini")).isDir());
        QDir().rmdir(QStringLiteral("Pelk.ini"));
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "test_settings.moc"
