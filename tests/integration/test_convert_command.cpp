// The convert button over real files: the real encoder and bitmap save, the messages, the
// settings save, and what every way out of a press leaves in the window.
#include "app/wiring.h"
#include "convert/convert_command.h"
#include "platform/real/jpeg/libjpeg_encoder.h"
#include "support/files.h"
#include "support/gif_writer.h"
#include "support/permissions.h"
#include "support/real_platform.h"
#include "support/scratch_mount.h"
#include "window/window_model.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace pelk;
using namespace pelk::test;

namespace {

// A window on the test platform, with the real encoder behind the recording one.
struct Press {
    TestPlatform t;
    LibjpegEncoder& realEncoder = t.real.encoder;
    WindowModel w;
    Press()
    {
        t.encoder.delegate = &realEncoder;
        connectHandlers(w, t.platform);
        w.Load();  // no Pelk.ini: the box shows 50
    }
    void drop(const QString& path) { w.OLEDragDrop(DropData{true, {path}}); }
};

QImage decoded(const QString& path)
{
    QImageReader reader(path);
    return reader.read();
}

QString sizeText(const QString& path) { return QString::number(QFileInfo(path).size()) + QStringLiteral("Bytes"); }

}  // namespace

class ConvertCommandTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<WorkingDirectory> cwd;
    QString path(const QString& name) const { return dir.filePath(name); }
    static bool settingsSaved() { return QFile::exists(QStringLiteral("Pelk.ini")); }

private slots:
    void init()
    {
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        cwd = std::make_unique<WorkingDirectory>(dir.path());
    }
    void cleanup() { cwd.reset(); }

    void bitmapToJpeg()
    {
        const QImage source = photoLike(120, 80);
        writePicture(path(QStringLiteral("cat.bmp")), source, "BMP");
        Press p;
        p.drop(path(QStringLiteral("cat.bmp")));
        p.w.Text2.setText(QStringLiteral("75"));
        p.w.Check1.setValue(1);
        p.w.Image1.setPicture(QImage());  // the press reloads the source from disk
        p.w.Command1.click();

        QCOMPARE(p.t.encoder.calls.size(), size_t(1));
        const EncoderCall& call = p.t.encoder.calls[0];
        QCOMPARE(call.source, QFile::encodeName(path(QStringLiteral("cat.bmp"))));
        QCOMPARE(call.destination, QFile::encodeName(path(QStringLiteral("cat.jpg"))));
        QCOMPARE(int(call.quality), 75);
        QCOMPARE(call.progressive, true);

        const QString output = path(QStringLiteral("cat.jpg"));
        const QImage written = decoded(output);
        QCOMPARE(written.size(), source.size());
        QVERIFY2(psnr(source, written) > 28, qPrintable(QString::number(psnr(source, written))));
        QCOMPARE(p.w.Image1.picture().size(), source.size());
        QVERIFY(!p.w.Image2.picture().isNull());
        QCOMPARE(p.w.Label7.caption(), sizeText(output));
        QCOMPARE(p.t.messages.texts(), QStringList({QStringLiteral("完了しました。")}));
        QCOMPARE(p.t.messages.shown[0].title, QString());  // the application's title
        QCOMPARE(readBytes(QStringLiteral("Pelk.ini")), QByteArray("75\r\n 1 \r\n 0 \r\n"));
        QCOMPARE(p.w.outputPath, output);
        QCOMPARE(p.w.progressiveText, QStringLiteral("True"));
        QCOMPARE(p.w.Text3.text(), output);
    }

    void jpegAndGifToBitmap_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::newRow("jpg") << "photo.jpg" << QSize(64, 48);
        QTest::newRow("gif") << "anim.gif" << QSize(64, 48);
        // Shown from a reduced decode, pressed before its whole picture can be ready.
        QTest::newRow("large jpg") << "large.jpg" << QSize(2000, 1500);
    }
    void jpegAndGifToBitmap()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        const QString source = path(name);
        const QImage picture = photoLike(size.width(), size.height());
        writePicture(source, picture, name.endsWith(u"gif") ? "GIF" : "JPG");
        Press p;
        p.drop(source);
        const QSize shown = p.w.Image1.picture().size();
        p.w.Command1.click();

        const QString output = source.left(source.size() - 3) + QStringLiteral("bmp");
        QVERIFY(p.t.encoder.calls.empty());
        QCOMPARE(QImageReader(output).format(), QByteArray("bmp"));
        const QImage written = decoded(output);
        QCOMPARE(written.size(), size);
        if (shown == size) {
            QCOMPARE(written.convertToFormat(QImage::Format_RGB888),
                     p.w.Image1.picture().convertToFormat(QImage::Format_RGB888));
        } else {
            QVERIFY(shown.width() < size.width());
            QVERIFY2(psnr(picture, written) > 30, qPrintable(QString::number(psnr(picture, written))));
        }
        QCOMPARE(p.w.Label7.caption(), sizeText(output));
        QVERIFY(!p.w.Image2.picture().isNull());
        QCOMPARE(p.t.messages.texts(), QStringList({QStringLiteral("完了しました。")}));
        QVERIFY(settingsSaved());
        QCOMPARE(p.w.Text3.text(), output);
    }

    // What the press encodes was made ahead by the real encoder from the same arguments
    // (which arguments is tested on fakes), and the press writes those bytes.
    void thePressWritesWhatWasEncodedAhead_data()
    {
        QTest::addColumn<QString>("quality");
        QTest::addColumn<int>("check1");
        QTest::addColumn<bool>("progressiveBefore");  // an earlier progressive press
        QTest::newRow("quality 75") << "75" << 0 << false;
        QTest::newRow("progressive") << "33" << 1 << false;
        QTest::newRow("quality 0") << "0" << 0 << false;
        QTest::newRow("grayed, after a progressive press") << "80" << 2 << true;
    }
    void thePressWritesWhatWasEncodedAhead()
    {
        QFETCH(QString, quality);
        QFETCH(int, check1);
        QFETCH(bool, progressiveBefore);
        const QString source = path(QStringLiteral("a.bmp"));
        const QString output = path(QStringLiteral("a.jpg"));
        writePicture(source, photoLike(160, 120), "BMP");
        QTest::qWait(150);  // a settled file: one whose versions the encoder tells apart
        Press p;
        if (progressiveBefore) {
            p.drop(source);
            p.w.Check1.setValue(1);
            p.w.Command1.click();
            p.t.encoder.calls.clear();
        }
        p.drop(source);
        p.w.Text2.setText(quality);
        p.w.Check1.setValue(check1);
        QVERIFY(p.t.encoder.lastPrepared());
        const int before = p.realEncoder.pressesFromPrepared();
        p.w.Command1.click();
        QCOMPARE(p.t.encoder.calls.size(), size_t(1));
        QCOMPARE(p.realEncoder.pressesFromPrepared(), before + 1);
        QVERIFY(!decoded(output).isNull());
        // The output preview made ahead is the one the file itself gives.
        QCOMPARE(p.w.Image2.picture(),
                 RealPictureService().loadForDisplay(output, pixels(p.w.Image2.design().twips).size()));
    }

    void qualityZeroIsTheLowestQuality()
    {
        writePicture(path(QStringLiteral("z.bmp")), photoLike(96, 64), "BMP");
        Press p;
        p.drop(path(QStringLiteral("z.bmp")));
        p.w.Text2.setText(QStringLiteral("00"));
        p.w.Command1.click();
        QCOMPARE(p.t.encoder.calls.size(), size_t(1));
        QCOMPARE(int(p.t.encoder.calls[0].quality), 0);
        QVERIFY(!decoded(path(QStringLiteral("z.jpg"))).isNull());
        QCOMPARE(p.t.messages.texts(), QStringList({QStringLiteral("完了しました。")}));
        QCOMPARE(p.w.outputPath, path(QStringLiteral("z.jpg")));
    }

    void anExistingOutputIsReplaced()
    {
        writePicture(path(QStringLiteral("r.jpg")), photoLike(30, 20), "JPG");
        writeBytes(path(QStringLiteral("r.bmp")), QByteArray("old content"));
        Press p;
        p.drop(path(QStringLiteral("r.jpg")));
        p.w.Command1.click();
        QCOMPARE(decoded(path(QStringLiteral("r.bmp"))).size(), QSize(30, 20));
        QCOMPARE(p.t.messages.texts(), QStringList({QStringLiteral("完了しました。")}));
    }

    // A result that was not written is named, with the reason; the press then ends as any
    // failed press does: no completion, no settings save, the source type retired.
    void anUnwritableOutputIsNamed_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<QString>("reason");
        QTest::newRow("jpg to bmp, under a regular file") << "u.jpg" << false << "ファイルを保存できませんでした。";
        QTest::newRow("bmp to jpg, under a regular file") << "u.bmp" << false << "ファイルを保存できませんでした。";
        QTest::newRow("jpg to bmp, full disk") << "u.jpg" << true << "ディスクの空き容量が足りません。";
        QTest::newRow("bmp to jpg, full disk") << "u.bmp" << true << "ディスクの空き容量が足りません。";
    }
    void anUnwritableOutputIsNamed()
    {
        QFETCH(QString, source);
        QFETCH(bool, fullDisk);
        QFETCH(QString, reason);
        const bool jpeg = source.endsWith(u"jpg");
        writePicture(path(source), photoLike(800, 600), jpeg ? "JPG" : "BMP");
        writeBytes(path(QStringLiteral("plain")), QByteArray("a file, not a folder"));
        std::optional<ScratchMount> mount;
        if (fullDisk) {
            if (!runningAsRoot())
                QSKIP("mounting a small file system needs root");
            QVERIFY(QDir().mkpath(path(QStringLiteral("small"))));
            mount.emplace(path(QStringLiteral("small")), QStringLiteral("4k"));
            QVERIFY2(mount->ok(), "running as root, yet cannot mount a tmpfs");
        }
        Press p;
        p.drop(path(source));
        const QString output =
            path((fullDisk ? QStringLiteral("small/out.") : QStringLiteral("plain/out.")) + (jpeg ? "bmp" : "jpg"));
        p.w.Text1.setText(output);
        p.w.Command1.click();
        QCOMPARE(p.t.messages.texts(),
                 QStringList{QStringLiteral("次のファイルを保存できません。\n%1\n\n%2").arg(output, reason)});
        QCOMPARE(p.t.messages.shown[0].title, WindowModel::caption);
        QVERIFY(!settingsSaved());
        QVERIFY(p.w.Image2.picture().isNull());
        QCOMPARE(p.w.Text3.text(), output);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // no stray file
        if (fullDisk)
            QCOMPARE(entries(path(QStringLiteral("small"))), QStringList());
    }

    // The bits decide, so that root (which writes through them) keeps the file too.
    void aReadOnlyFileIsNeverReplaced_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("readOnly");
        QTest::newRow("JPEG output") << "k.bmp"
                                     << "k.jpg";
        QTest::newRow("bitmap output") << "k.jpg"
                                       << "k.bmp";
        QTest::newRow("Pelk.ini") << "k.bmp"
                                  << "Pelk.ini";
    }
    void aReadOnlyFileIsNeverReplaced()
    {
        QFETCH(QString, source);
        QFETCH(QString, readOnly);
        const bool settings = readOnly == u"Pelk.ini";
        writePicture(path(source), photoLike(20, 20), source.endsWith(u"jpg") ? "JPG" : "BMP");
        // An older picture: read back as the result, it would pass for a conversion.
        if (settings)
            writeBytes(path(readOnly), "33\r\n 0 \r\n 0 \r\n");
        else
            writePicture(path(readOnly), photoLike(8, 8, 3), readOnly.endsWith(u"jpg") ? "JPG" : "BMP");
        const QByteArray older = readBytes(path(readOnly));
        QVERIFY(setMode(path(readOnly), 0444));
        Press p;
        p.drop(path(source));
        p.w.Text2.setText(QStringLiteral("80"));
        p.w.Command1.click();
        QCOMPARE(p.t.messages.texts(),
                 QStringList{settings
                                 ? QStringLiteral("完了しました。")
                                 : QStringLiteral("次のファイルを保存できません。\n%1\n\n書き込む権限がありません。")
                                       .arg(path(readOnly))});
        QCOMPARE(p.w.Image2.picture().isNull(), !settings);
        QCOMPARE(readBytes(path(readOnly)), older);
        QCOMPARE(modeOf(path(readOnly)), 0444);
        // Only the source, the output and Pelk.ini when it was there: no temporary file, no save.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), settings ? 3 : 2);
    }

    void readOnlyFilesAsAnUnprivilegedUser()
    {
        if (!runningAsRoot())
            QSKIP("not root: the cases above already ran without root's rights");
        const QString problem = runAsNobody({QStringLiteral("aReadOnlyFileIsNeverReplaced:JPEG output"),
                                             QStringLiteral("aReadOnlyFileIsNeverReplaced:bitmap output"),
                                             QStringLiteral("aReadOnlyFileIsNeverReplaced:Pelk.ini")});
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void aFailingEncoderNeverShowsAnOlderFileAsTheResult()
    {
        writePicture(path(QStringLiteral("e.bmp")), photoLike(20, 20), "BMP");
        writePicture(path(QStringLiteral("e.jpg")), photoLike(50, 50, 7), "JPG");
        const QByteArray older = readBytes(path(QStringLiteral("e.jpg")));
        Press p;
        p.t.encoder.delegate = nullptr;
        p.t.encoder.result = 1;  // an encoder that wrote nothing
        p.drop(path(QStringLiteral("e.bmp")));
        p.w.Command1.click();
        QCOMPARE(p.t.encoder.calls.size(), size_t(1));
        QCOMPARE(p.t.messages.texts(),
                 QStringList{QStringLiteral("次のファイルを保存できません。\n%1\n\nJPEG に変換できませんでした。")
                                 .arg(path(QStringLiteral("e.jpg")))});
        QVERIFY(!settingsSaved());
        QVERIFY(p.w.Image2.picture().isNull());
        QCOMPARE(readBytes(path(QStringLiteral("e.jpg"))), older);
        QCOMPARE(p.w.Text3.text(), path(QStringLiteral("e.jpg")));
    }

    void aJapaneseFileNameEndToEnd()
    {
        const QString folder = path(QStringLiteral("写真フォルダ"));
        QDir().mkpath(folder);
        const QString source = folder + QStringLiteral("/夏の海　😀.bmp");
        writePicture(source, photoLike(40, 30), "BMP");
        Press p;
        p.drop(source);
        QCOMPARE(p.w.Text1.text(), folder + QStringLiteral("/夏の海　😀.jpg"));
        p.w.Command1.click();
        QCOMPARE(decoded(folder + QStringLiteral("/夏の海　😀.jpg")).size(), QSize(40, 30));
        QCOMPARE(p.t.messages.texts(), QStringList({QStringLiteral("完了しました。")}));

        p.drop(folder + QStringLiteral("/夏の海　😀.jpg"));
        p.w.Command1.click();
        QCOMPARE(decoded(folder + QStringLiteral("/夏の海　😀.bmp")).size(), QSize(40, 30));
    }

    void aTransparentGifBecomesWhite()
    {
        QImage picture(8, 8, QImage::Format_Indexed8);
        picture.setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 255)});
        picture.fill(0);
        for (int y = 0; y < 8; ++y)
            picture.setPixel(y, y, 1);
        GifFrame frame{picture};
        frame.transparentIndex = 0;
        writeBytes(path(QStringLiteral("t.gif")), makeGif({frame}));
        Press p;
        p.drop(path(QStringLiteral("t.gif")));
        p.w.Command1.click();
        const QImage written = decoded(path(QStringLiteral("t.bmp")));
        QCOMPARE(written.size(), QSize(8, 8));
        QCOMPARE(written.pixel(1, 0), qRgb(255, 255, 255));
        QCOMPARE(written.pixel(3, 3), qRgb(0, 0, 255));
    }

    void convertThenDropKeepsTheOldOutputShown()
    {
        writePicture(path(QStringLiteral("one.bmp")), photoLike(30, 30), "BMP");
        writePicture(path(QStringLiteral("two.jpg")), photoLike(10, 10), "JPG");
        Press p;
        p.drop(path(QStringLiteral("one.bmp")));
        p.w.Command1.click();
        const QString sizeOfOne = p.w.Label7.caption();
        p.drop(path(QStringLiteral("two.jpg")));
        QCOMPARE(p.w.Label7.caption(), sizeOfOne);
        QCOMPARE(p.w.Label7.caption(), sizeText(path(QStringLiteral("one.jpg"))));
        QVERIFY(!p.w.Image2.picture().isNull());
    }
};

QTEST_GUILESS_MAIN(ConvertCommandTest)
#include "test_convert_command.moc"
