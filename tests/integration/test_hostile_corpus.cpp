// Every file of the hostile corpus dropped on the window and converted, with the real
// picture service and encoder, each in a child process under a time and memory limit:
// no crash, no hang, no limit exceeded; a valid file converts, any other is reported as
// a failed drop and converts nothing.

#include "support/corpus_files.h"
#include "support/files.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

#include <sys/stat.h>

using namespace pelk::test;

Q_DECLARE_METATYPE(pelk::test::CorpusFile)

namespace {

// The bound on the whole process: the program must never need more for one file.
constexpr int memoryMiB = 1536;

const QString completion = QStringLiteral("完了しました。");
const QString apology = QStringLiteral("申し訳ありません　変換できません(^_^;)");

QString runnerPath() { return qEnvironmentVariable("PELK_BINARY_DIR") + QStringLiteral("/tests/pelk_drop_runner"); }

struct RunResult {
    bool finished = false;  // within the time limit
    bool clean = false;     // exited normally with 0 and printed its last line
    QString failure;        // how it ended otherwise
    std::map<QString, QString> values;
};

RunResult runOne(const QString& folder, const QString& file, int seconds)
{
    RunResult result;
    QProcess child;
    child.setWorkingDirectory(folder);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(runnerPath(), {file, QString::number(memoryMiB)});
    if (!child.waitForStarted(10000)) {
        result.failure = QStringLiteral("could not start the runner: ") + child.errorString();
        return result;
    }
    result.finished = child.waitForFinished(seconds * 1000);
    if (!result.finished) {
        child.kill();  // only this child, by its own handle
        child.waitForFinished(5000);
        result.failure = QStringLiteral("did not finish within %1 s").arg(seconds);
        return result;
    }
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0)
            result.values[line.left(eq)] = line.mid(eq + 1);
    }
    if (child.exitStatus() != QProcess::NormalExit)
        result.failure =
            QStringLiteral("crashed (signal) ") + QString::fromUtf8(child.readAllStandardError().right(2000));
    else if (child.exitCode() != 0)
        result.failure = QStringLiteral("exit code %1: ").arg(child.exitCode())
            + QString::fromUtf8(child.readAllStandardError().right(2000));
    else if (result.values["end"] != u"ok")
        result.failure = QStringLiteral("did not reach its end");
    result.clean = result.failure.isEmpty();
    return result;
}

QString sizeText(QSize size) { return QStringLiteral("%1x%2").arg(size.width()).arg(size.height()); }

}  // namespace

class TestHostileCorpus : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(QFileInfo(runnerPath()).isExecutable(), qPrintable(runnerPath())); }

    void dropAndPress_data()
    {
        QTest::addColumn<CorpusFile>("file");
        for (const CorpusFile& file : hostileCorpus())
            QTest::newRow(qPrintable(file.name)) << file;
    }

    void dropAndPress()
    {
        QFETCH(CorpusFile, file);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(file.name);
        writeBytes(path, file.bytes);

        RunResult run = runOne(dir.path(), path, 20);
        QVERIFY2(run.clean, qPrintable(run.failure));
        const QString drop = run.values["drop"];
        const QString press = run.values["press"];
        const QString detail =
            QStringLiteral("drop=%1 (%2) press=%3 output=%4 decoded=%5")
                .arg(drop, run.values["dropMessage"], press, run.values["output"], run.values["outputDecoded"]);

        switch (file.expect) {
        case CorpusExpect::Converts:
            QVERIFY2(drop == u"shown", qPrintable(detail));
            QCOMPARE(run.values["source"], sizeText(file.shown));
            QVERIFY2(press == completion, qPrintable(detail));
            QCOMPARE(run.values["outputDecoded"], sizeText(file.shown));
            break;
        case CorpusExpect::Refused:
            QVERIFY2(drop == u"failed", qPrintable(detail));
            QVERIFY2(!press.contains(completion), qPrintable(detail));
            break;
        case CorpusExpect::Apology:
            QVERIFY2(drop == u"shown", qPrintable(detail));
            QCOMPARE(run.values["source"], sizeText(file.shown));
            QCOMPARE(press, apology);
            break;
        }
        // Nothing beside the source but the output and the settings file.
        QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot);
        left.removeAll(file.name);
        left.removeAll(QStringLiteral("Pelk.ini"));
        if (!run.values["output"].isEmpty())
            left.removeAll(QFileInfo(run.values["output"]).fileName());
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u", ")));
    }

    // A FIFO or a device where a picture was expected: opening a FIFO to read waits for a
    // writer, so a reader that opened it would hang the window for good. Refused at the
    // drop, at once, saying why.
    void notRegularFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("device");  // a link to this device; empty: a FIFO
        QTest::newRow("FIFO named .bmp") << "pipe.bmp"
                                         << "";
        QTest::newRow("FIFO named .jpg") << "pipe.jpg"
                                         << "";
        QTest::newRow("FIFO named .gif") << "pipe.gif"
                                         << "";
        QTest::newRow("link to /dev/zero named .jpg") << "zero.jpg"
                                                      << "/dev/zero";
        QTest::newRow("link to /dev/urandom named .bmp") << "random.bmp"
                                                         << "/dev/urandom";
    }

    void notRegularFiles()
    {
        QFETCH(QString, name);
        QFETCH(QString, device);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(name);
        if (device.isEmpty())
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        else
            QVERIFY(QFile::link(device, path));
        RunResult run = runOne(dir.path(), path, 20);
        QVERIFY2(run.clean, qPrintable(run.failure));
        QCOMPARE(run.values["drop"], QStringLiteral("failed"));
        QVERIFY2(run.values["dropMessage"].contains(QStringLiteral("通常のファイルではありません。")),
                 qPrintable(run.values["dropMessage"]));
        QVERIFY(!run.values["press"].contains(completion));
    }

    // The one genuine large picture: a 100-megapixel progressive JPEG converts to a
    // bitmap within the same memory limit (progressive decoding holds every coefficient).
    void hundredMegapixels()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("large.jpg"));
        {
            QImage picture(10000, 10000, QImage::Format_RGB888);
            for (int y = 0; y < picture.height(); ++y) {
                uchar* line = picture.scanLine(y);
                for (int x = 0; x < picture.width(); ++x) {
                    line[3 * x] = uchar(x / 40);
                    line[3 * x + 1] = uchar(y / 40);
                    line[3 * x + 2] = uchar((x ^ y) & 0xff);
                }
            }
            writeBytes(path, makeJpeg(picture, {80, true}));
        }
        RunResult run = runOne(dir.path(), path, 240);
        QVERIFY2(run.clean, qPrintable(run.failure));
        QCOMPARE(run.values["drop"], QStringLiteral("shown"));
        QCOMPARE(run.values["press"], completion);
        QCOMPARE(run.values["outputDecoded"], QStringLiteral("10000x10000"));
    }
};

QTEST_GUILESS_MAIN(TestHostileCorpus)
#include "test_hostile_corpus.moc"
