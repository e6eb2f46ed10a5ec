// The convert button on the fake platform: which conversion a press makes with which
// arguments, what each way out of it leaves in the window, and the encode asked for ahead
// with the arguments the press then takes.
#include "app/wiring.h"
#include "convert/convert_command.h"
#include "support/fakes.h"
#include "support/files.h"
#include "window/window_model.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pelk;
using namespace pelk::test;

namespace {

const QString completion = QStringLiteral("完了しました。");
const QString apology = QStringLiteral("申し訳ありません　変換できません(^_^;)");

// A window on fakes, with Pelk.ini written to the test's folder.
struct Press {
    FakePlatform f;
    WindowModel w;
    Press() { connectHandlers(w, f.platform); }

    // Drops a picture the fakes know, of `length` bytes.
    void drop(const QString& path, qint64 length = 100)
    {
        f.pictures.pictures.insert(path, photoLike(8, 6));
        f.files.lengths.insert(path, length);
        w.OLEDragDrop(DropData{true, {path}});
    }
    // What the encoder "writes": a picture and a length the fakes give for the output.
    void outputWillRead(const QString& path, qint64 length)
    {
        f.pictures.pictures.insert(path, photoLike(5, 4, 9));
        f.files.lengths.insert(path, length);
    }
    bool settingsSaved() const { return f.files.replaced.contains(QStringLiteral("Pelk.ini")); }
};

}  // namespace

class PressTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<WorkingDirectory> cwd;

private slots:
    void init() { cwd = std::make_unique<WorkingDirectory>(dir.path()); }
    void cleanup()
    {
        cwd.reset();
        QFile::remove(dir.filePath(QStringLiteral("Pelk.ini")));
    }

    void branches_data()
    {
        QTest::addColumn<QString>("source");  // empty: no drop
        QTest::addColumn<QString>("quality");
        QTest::addColumn<int>("check1");
        QTest::addColumn<int>("encodedQuality");   // -1: no encoder call
        QTest::addColumn<QString>("bitmapSaved");  // empty: no bitmap saved
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("settingsSaved");
        QTest::newRow("bmp, 75, progressive") << "/p/cat.bmp"
                                              << "75" << 1 << 75 << "" << completion << true;
        QTest::newRow("bmp, 99, baseline") << "/p/cat.bmp"
                                           << "99" << 0 << 99 << "" << completion << true;
        QTest::newRow("bmp, 0 is the lowest quality") << "/p/cat.bmp"
                                                      << "00" << 0 << 0 << "" << completion << true;
        QTest::newRow("jpg") << "/p/cat.jpg"
                             << "75" << 0 << -1 << "/p/cat.bmp" << completion << true;
        QTest::newRow("gif") << "/p/anim.gif"
                             << "50" << 1 << -1 << "/p/anim.bmp" << completion << true;
        QTest::newRow("ico") << "/p/i.ico"
                             << "50" << 0 << -1 << "" << apology << true;
        QTest::newRow("upper-case BMP") << "/p/A.BMP"
                                        << "50" << 0 << -1 << "" << QString() << true;
        QTest::newRow("before any drop") << ""
                                         << "50" << 0 << -1 << "" << QString() << true;
        QTest::newRow("empty quality") << "/p/a.bmp"
                                       << "" << 0 << -1 << "" << QString() << false;
        QTest::newRow("letters") << "/p/a.bmp"
                                 << "x" << 0 << -1 << "" << QString() << false;
        QTest::newRow("negative quality") << "/p/a.bmp"
                                          << "-5" << 0 << -1 << "" << QString() << false;
        QTest::newRow("jpg, empty quality") << "/p/a.jpg"
                                            << "" << 0 << -1 << "" << QString() << false;
    }
    void branches()
    {
        QFETCH(QString, source);
        QFETCH(QString, quality);
        QFETCH(int, check1);
        QFETCH(int, encodedQuality);
        QFETCH(QString, bitmapSaved);
        QFETCH(QString, message);
        QFETCH(bool, settingsSaved);
        Press p;
        if (!source.isEmpty())
            p.drop(source);
        const QString proposed = p.w.Text1.text();
        const QImage shown = p.w.Image1.picture();
        p.outputWillRead(proposed, 777);
        p.w.Text2.setText(quality);
        p.w.Check1.setValue(check1);
        const bool converts = encodedQuality >= 0 || !bitmapSaved.isEmpty();
        if (encodedQuality >= 0)
            p.w.Image1.setPicture(QImage());  // the JPEG branch reloads the source

        p.w.Command1.click();

        QCOMPARE(p.f.encoder.calls.size(), std::size_t(encodedQuality >= 0 ? 1 : 0));
        if (encodedQuality >= 0) {
            const EncoderCall& call = p.f.encoder.calls[0];
            QCOMPARE(call.source, QFile::encodeName(source));
            QCOMPARE(call.destination, QFile::encodeName(proposed));
            QCOMPARE(int(call.quality), encodedQuality);
            QCOMPARE(call.progressive, check1 == 1);
            QCOMPARE(p.w.Image1.picture(), p.f.pictures.pictures.value(source));
        }
        QCOMPARE(p.f.pictures.saved, bitmapSaved.isEmpty() ? QStringList() : QStringList{bitmapSaved});
        if (!bitmapSaved.isEmpty())
            QCOMPARE(p.f.pictures.pictures.value(bitmapSaved), shown);  // the picture shown is the one saved
        QCOMPARE(p.f.messages.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!message.isEmpty())
            QCOMPARE(p.f.messages.shown[0].title, QString());  // the application's title
        QCOMPARE(p.settingsSaved(), settingsSaved);
        QCOMPARE(p.w.Image2.picture().isNull(), !converts);
        QCOMPARE(p.w.Label7.caption(), converts ? QStringLiteral("777Bytes") : QStringLiteral("サイズ"));
        // The press ends by retiring the source type with the output path it captured.
        const bool captured = settingsSaved && !source.isEmpty();
        QCOMPARE(p.w.Text3.text(), captured ? proposed : QString());
        QCOMPARE(p.w.outputPath, captured ? proposed : QString());
    }

    void aSecondPressOnlySavesTheSettings()
    {
        Press p;
        p.drop(QStringLiteral("/p/once.jpg"));
        p.w.Text2.setText(QStringLiteral("50"));
        p.outputWillRead(QStringLiteral("/p/once.bmp"), 10);
        p.w.Command1.click();
        p.f.files.replaced.clear();
        p.w.Command1.click();
        QCOMPARE(p.f.pictures.saved, QStringList{QStringLiteral("/p/once.bmp")});
        QCOMPARE(p.f.messages.texts(), QStringList{completion});
        QVERIFY(p.settingsSaved());
        QCOMPARE(p.w.Text3.text(), QStringLiteral("/p/once.bmp"));
    }

    // A grayed box keeps the option the last press captured; at the first press there is
    // none, and the Boolean conversion fails before the encoder is called.
    void aGrayedBoxKeepsTheLastOption()
    {
        Press p;
        p.w.Text2.setText(QStringLiteral("50"));
        p.drop(QStringLiteral("/p/g.bmp"));
        p.outputWillRead(QStringLiteral("/p/g.jpg"), 10);
        p.w.Check1.setValue(2);
        p.w.Command1.click();
        QVERIFY(p.f.encoder.calls.empty());
        QCOMPARE(p.f.messages.texts(), QStringList());
        QVERIFY(!p.settingsSaved());
        QCOMPARE(p.w.Text3.text(), QStringLiteral("/p/g.jpg"));

        for (int check1 : {1, 2, 0, 2}) {
            p.drop(QStringLiteral("/p/g.bmp"));
            p.w.Check1.setValue(check1);
            p.w.Command1.click();
        }
        QCOMPARE(p.f.encoder.calls.size(), std::size_t(4));
        QCOMPARE(p.f.encoder.calls[1].progressive, true);
        QCOMPARE(p.f.encoder.calls[3].progressive, false);
    }

    // The encoder's destination buffer comes back as the output path that retires the type.
    void theEncodersDestinationBecomesTheOutputPath()
    {
        Press p;
        p.w.Text2.setText(QStringLiteral("50"));
        p.drop(QStringLiteral("/p/d.bmp"));
        p.outputWillRead(QStringLiteral("/p/d.jpg"), 10);
        p.f.encoder.rewrittenDestination = QFile::encodeName(QStringLiteral("/p/写真.jpg"));
        p.w.Command1.click();
        QCOMPARE(p.w.outputPath, QStringLiteral("/p/写真.jpg"));
        QCOMPARE(p.w.Text3.text(), QStringLiteral("/p/写真.jpg"));
    }

    // A failure after the output was written is no failed write: the press ends silently,
    // keeping what the steps before it showed.
    void aFailureAfterTheWrite_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("outputLoads");
        QTest::newRow("JPEG unreadable") << "/p/s.bmp" << false;
        QTest::newRow("JPEG without length") << "/p/s.bmp" << true;
        QTest::newRow("bitmap without length") << "/p/s.jpg" << true;
    }
    void aFailureAfterTheWrite()
    {
        QFETCH(QString, source);
        QFETCH(bool, outputLoads);
        Press p;
        p.w.Text2.setText(QStringLiteral("50"));
        p.drop(source);
        const QString output = p.w.Text1.text();
        if (outputLoads && source.endsWith(u"bmp"))
            p.f.pictures.pictures.insert(output, photoLike(3, 3));
        p.w.Command1.click();
        QCOMPARE(p.f.messages.texts(), QStringList());
        QVERIFY(!p.settingsSaved());
        QCOMPARE(p.w.Image2.picture().isNull(), !outputLoads);
        QCOMPARE(p.w.Label7.caption(), QStringLiteral("サイズ"));
        QCOMPARE(p.w.Text3.text(), output);
    }

    // Whatever would change a press's encode asks for it ahead with the press's own
    // arguments, or drops the request when a press would encode nothing.
    void theEncodeAheadAsksForWhatThePressTakes_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("quality");
        QTest::addColumn<int>("check1");
        QTest::addColumn<bool>("progressiveBefore");  // an earlier progressive press
        QTest::addColumn<bool>("converts");
        QTest::newRow("quality 75") << "/p/a.bmp"
                                    << "75" << 0 << false << true;
        QTest::newRow("progressive") << "/p/a.bmp"
                                     << "33" << 1 << false << true;
        QTest::newRow("quality 0") << "/p/a.bmp"
                                   << "0" << 0 << false << true;
        QTest::newRow("grayed, after a progressive press") << "/p/a.bmp"
                                                           << "80" << 2 << true << true;
        QTest::newRow("grayed, no earlier press") << "/p/a.bmp"
                                                  << "80" << 2 << false << false;
        QTest::newRow("empty quality") << "/p/a.bmp"
                                       << "" << 0 << false << false;
        QTest::newRow("negative quality") << "/p/a.bmp"
                                          << "-5" << 0 << false << false;
        QTest::newRow("a JPEG source") << "/p/a.jpg"
                                       << "75" << 0 << false << false;
        QTest::newRow("an icon") << "/p/a.ico"
                                 << "75" << 1 << false << false;
    }
    void theEncodeAheadAsksForWhatThePressTakes()
    {
        QFETCH(QString, source);
        QFETCH(QString, quality);
        QFETCH(int, check1);
        QFETCH(bool, progressiveBefore);
        QFETCH(bool, converts);
        Press p;
        p.w.Text2.setText(QStringLiteral("50"));
        if (progressiveBefore) {
            p.drop(source);
            p.w.Check1.setValue(1);
            p.w.Command1.click();
            p.f.encoder.calls.clear();
        }
        p.drop(source);
        QVERIFY(!p.f.encoder.prepared.empty());
        p.w.Text2.setText(quality);
        p.w.Check1.setValue(check1);
        const std::optional<EncoderCall> ahead = p.f.encoder.lastPrepared();
        p.w.Command1.click();
        QCOMPARE(p.f.encoder.calls.size(), std::size_t(converts ? 1 : 0));
        QCOMPARE(ahead.has_value(), converts);
        if (converts) {
            QCOMPARE(ahead->source, p.f.encoder.calls[0].source);
            QCOMPARE(ahead->quality, p.f.encoder.calls[0].quality);
            QCOMPARE(ahead->progressive, p.f.encoder.calls[0].progressive);
        }
        // After the press a second one converts nothing: nothing is kept ahead for it.
        QVERIFY(!p.f.encoder.lastPrepared());
    }

    // A quality being typed or dragged is asked for only once it has rested; a drop and the
    // progressive box at once. The preview is asked for the output box's size.
    void aQualityRestsBeforeItIsEncodedAhead()
    {
        Press p;
        p.w.Text2.setText(QStringLiteral("50"));
        p.drop(QStringLiteral("/p/a.bmp"));
        QCOMPARE(p.f.encoder.prepared.back().restMs, 0);
        p.w.Text2.setText(QStringLiteral("61"));
        QCOMPARE(p.f.encoder.prepared.back().restMs, qualityRestMs);
        QCOMPARE(int(p.f.encoder.prepared.back().call.quality), 61);
        p.w.HScroll1.dragTo(70);
        QCOMPARE(p.f.encoder.prepared.back().restMs, qualityRestMs);
        QCOMPARE(int(p.f.encoder.prepared.back().call.quality), 70);
        p.w.Check1.userClick();
        QCOMPARE(p.f.encoder.prepared.back().restMs, 0);
        QVERIFY(p.f.encoder.prepared.back().call.progressive);
        // Reading what a press would take never changes the window's variables.
        QCOMPARE(p.w.outputPath, QString());
        QCOMPARE(p.w.progressiveText, QString());
    }
};

QTEST_GUILESS_MAIN(PressTest)
#include "test_press.moc"
