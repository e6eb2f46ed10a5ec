// Drops, go and rename over real files: the mode table, partial updates on failure and
// the failed-drop message.
#include "app/wiring.h"
#include "platform/real/jpeg/libjpeg_encoder.h"
#include "support/files.h"
#include "support/real_platform.h"
#include "window/failure.h"
#include "window/window_model.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pelk;
using namespace pelk::test;

namespace {

const QString bmpCaption = QStringLiteral("BMPからjpeg へ変換");
const QString jpgCaption = QStringLiteral("jpegから BMPへ変換");
const QString gifCaption = QStringLiteral("gifから BMPへ変換");

DropData files(const QStringList& paths) { return {true, paths}; }

// The real pictures, except that the file at `refused` fails to load as `kind` says.
class RefusingPictures : public RealPictureService {
public:
    QImage load(const QString& path) override
    {
        if (path == refused)
            throw Failure(kind, path);
        return RealPictureService::load(path);
    }
    QImage loadShownFirst(const QString& path, QSize box) override
    {
        if (path == refused)
            throw Failure(kind, path);
        return RealPictureService::loadShownFirst(path, box);
    }
    QString refused;
    FailureKind kind = FailureKind::NotAPicture;
};

bool qualityGroupVisible(WindowModel& w)
{
    const bool visible = w.HScroll1.visible();
    // The four always move together.
    if (w.Label2.visible() != visible || w.Text2.visible() != visible || w.Label8.visible() != visible)
        qFatal("the quality group is split");
    return visible;
}

}  // namespace

class SourceIntakeTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    QString picture(const QString& name, const char* format, int width = 40, int height = 30)
    {
        writePicture(path(name), photoLike(width, height), format);
        return path(name);
    }

private slots:
    void modeTable_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("output");   // empty: the output path stays as before
        QTest::addColumn<QString>("caption");  // empty: the caption stays as before
        QTest::addColumn<bool>("qualityVisible");
        QTest::newRow("bmp") << "photo.bmp" << QByteArray("BMP") << "bmp"
                             << "photo.jpg" << bmpCaption << true;
        QTest::newRow("jpg") << "photo.jpg" << QByteArray("JPG") << "jpg"
                             << "photo.bmp" << jpgCaption << false;
        QTest::newRow("gif") << "pic.gif" << QByteArray("GIF") << "gif"
                             << "pic.bmp" << gifCaption << false;
        QTest::newRow("upper-case BMP") << "PHOTO.BMP" << QByteArray("BMP") << "BMP"
                                        << ""
                                        << "" << false;
        QTest::newRow("jpeg") << "photo.jpeg" << QByteArray("JPG") << "peg"
                              << ""
                              << "" << false;
        QTest::newRow("mixed-case Jpg") << "photo.Jpg" << QByteArray("JPG") << "Jpg"
                                        << ""
                                        << "" << false;
        QTest::newRow("ico") << "icon.ico" << QByteArray("ICO") << "ico"
                             << ""
                             << "" << false;
        QTest::newRow("Japanese name") << "写真　その1.bmp" << QByteArray("BMP") << "bmp"
                                       << "写真　その1.jpg" << bmpCaption << true;
    }
    // Each row drops its file after a JPEG, so "unchanged" means the JPEG's mode.
    void modeTable()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        QFETCH(QString, type);
        QFETCH(QString, output);
        QFETCH(QString, caption);
        QFETCH(bool, qualityVisible);

        TestPlatform t;
        WindowModel w;
        connectHandlers(w, t.platform);
        const QString before = picture(QStringLiteral("x.jpg"), "JPG");
        w.Image2.OLEDragDrop(files({before}));
        QCOMPARE(w.Text1.text(), path(QStringLiteral("x.bmp")));

        const QString source = picture(name, format.constData(), 32, 32);
        w.Image2.OLEDragDrop(files({source}));

        QVERIFY2(t.messages.shown.empty(), qPrintable(t.messages.texts().join(u'|')));
        QCOMPARE(w.Label1.caption(), source);
        QCOMPARE(w.sourcePathVar, source);
        QCOMPARE(w.Image1.picture().size(), QSize(32, 32));
        QCOMPARE(w.Label6.caption(), QString::number(QFile(source).size()) + QStringLiteral("Bytes"));
        QCOMPARE(w.Text3.text(), type);
        QCOMPARE(w.sourceType, type);
        QCOMPARE(w.Text1.text(), output.isEmpty() ? path(QStringLiteral("x.bmp")) : path(output));
        QCOMPARE(w.Command1.caption(), caption.isEmpty() ? jpgCaption : caption);
        QCOMPARE(qualityGroupVisible(w), qualityVisible);
        if (!output.isEmpty()) {
            const QString base = source.left(source.size() - 4);
            QCOMPARE(w.Text5.text(), base);
            QCOMPARE(w.Text4.text(), QString::number(base.size()));
            QCOMPARE(w.Text5.maxLength(), base.size());
        }
    }

    void jpgThenGifThenBmpShowsAndHidesTheQualityGroup()
    {
        TestPlatform t;
        WindowModel w;
        connectHandlers(w, t.platform);
        QVERIFY(qualityGroupVisible(w));  // visible when the window opens
        w.OLEDragDrop(files({picture(QStringLiteral("photo.jpg"), "JPG")}));
        QCOMPARE(w.Text1.text(), path(QStringLiteral("photo.bmp")));
        QVERIFY(!qualityGroupVisible(w));
        w.Image1.OLEDragDrop(files({picture(QStringLiteral("pic.gif"), "GIF")}));
        QCOMPARE(w.Text1.text(), path(QStringLiteral("pic.bmp")));
        QVERIFY(!qualityGroupVisible(w));
        w.Image2.OLEDragDrop(files({picture(QStringLiteral("cat.bmp"), "BMP")}));
        QCOMPARE(w.Text1.text(), path(QStringLiteral("cat.jpg")));
        QVERIFY(qualityGroupVisible(w));
    }

    void severalFilesOnlyTheLastIsAnalysed()
    {
        TestPlatform t;
        WindowModel w;
        connectHandlers(w, t.platform);
        const QString a = picture(QStringLiteral("a.jpg"), "JPG", 10, 10);
        const QString b = path(QStringLiteral("missing.bmp"));  // never loaded: not the last
        const QString c = picture(QStringLiteral("c.gif"), "GIF", 12, 12);
        QStringList seen;
        w.Label1.observe([&] { seen << w.Label1.caption(); });
        w.OLEDragDrop(files({a, b, c}));
        QCOMPARE(seen, QStringList({a, b, c}));
        QVERIFY(t.messages.shown.empty());
        QCOMPARE(w.Image1.picture().size(), QSize(12, 12));
        QCOMPARE(w.Text3.text(), QStringLiteral("gif"));
    }

    void aTextDropBeforeAnyFileFailsAtTheFirstStep()
    {
        TestPlatform t;
        WindowModel w;
        connectHandlers(w, t.platform);
        const QString designCaption = w.Label1.caption();
        w.OLEDragDrop(DropData{false, {}});
        QCOMPARE(w.Label1.caption(), designCaption);
        QCOMPARE(w.Text3.text(), QString());  // retired by the refusal
        QCOMPARE(w.Label6.caption(), QStringLiteral("サイズ"));
        QCOMPARE(t.messages.shown.size(), size_t(1));
        QVERIFY(t.messages.shown[0].text.contains(designCaption));
    }

    void aDropWithoutFilesReanalysesTheCurrentPath()
    {
        TestPlatform t;
        WindowModel w;
        connectHandlers(w, t.platform);
        const QString source = picture(QStringLiteral("again.bmp"), "BMP");
        w.OLEDragDrop(files({source}));
        w.Text1.setText(QStringLiteral("edited by the user"));
        w.Image1.OLEDragDrop(DropData{false, {}});
        QCOMPARE(w.Text1.text(), path(QStringLiteral("again.jpg")));
        QVERIFY(t.messages.shown.empty());
    }

    void failedDropsKeepTheEarlierSteps_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");  // empty name of content: no file at all
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty file") << "empty.jpg" << QByteArray("") << "画像として読み込めない";
        QTest::newRow("text file") << "notes.bmp" << QByteArray("just some text\n") << "画像として読み込めない";
        QTest::newRow("missing") << "gone.bmp" << QByteArray() << "見つかりません";
    }
    void failedDropsKeepTheEarlierSteps()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);

        TestPlatform t;
        WindowModel w;
        connectHandlers(w, t.platform);
        const QString good = picture(QStringLiteral("good.jpg"), "JPG", 20, 20);
        w.OLEDragDrop(files({good}));
        const QString goodSize = w.Label6.caption();

        const QString bad = path(name);
        if (!content.isNull())
            writeBytes(bad, content);
        w.Image2.OLEDragDrop(files({bad}));

        QCOMPARE(w.Label1.caption(), bad);  // step 2 of the drop stays done
        QCOMPARE(w.Image1.picture().size(), QSize(20, 20));
        QCOMPARE(w.Label6.caption(), goodSize);
        QCOMPARE(w.Text3.text(), QString());  // retired: a press converts nothing
        QCOMPARE(w.sourcePathVar, bad);       // set by the drop handler before go
        QCOMPARE(w.Text1.text(), path(QStringLiteral("good.bmp")));
        QCOMPARE(w.Command1.caption(), jpgCaption);
        QCOMPARE(t.messages.shown.size(), size_t(1));
        QVERIFY(t.messages.shown[0].text.contains(bad));
        QVERIFY2(t.messages.shown[0].text.contains(reason), qPrintable(t.messages.shown[0].text));
        QCOMPARE(t.messages.shown[0].title, QStringLiteral("Pelk17"));
    }

    void aPathOfThreeCharactersFailsInRename()
    {
        // "bmp" alone: a readable picture whose path is shorter than four characters.
        QTemporaryDir here;
        WorkingDirectory cwd(here.path());
        writePicture(QStringLiteral("bmp"), photoLike(8, 8), "BMP");
        TestPlatform t;
        WindowModel w;
        connectHandlers(w, t.platform);
        w.OLEDragDrop(files({QStringLiteral("bmp")}));
        QCOMPARE(w.Text3.text(), QString());  // retired by the refusal
        QCOMPARE(w.Text4.text(), QStringLiteral("-1"));
        QCOMPARE(w.Text5.text(), QStringLiteral("Text5"));  // the negative maximum was refused
        QCOMPARE(w.Text1.text(), QString());
        QCOMPARE(t.messages.shown.size(), size_t(1));
    }

    // The output path is as long as the source path and Text1 holds 500 characters: a
    // longer path would be proposed cut to another file's name, so its drop is refused.
    void pathsUpToTheOutputBoxLength_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("taken");
        QTest::newRow("500") << 500 << true;
        QTest::newRow("501") << 501 << false;
    }
    void pathsUpToTheOutputBoxLength()
    {
        QFETCH(int, length);
        QFETCH(bool, taken);
        QString folder = dir.path() + u'/';
        while (length - folder.size() > 250)
            folder += QString(200, u'f') + u'/';
        const QString source = folder + QString(length - folder.size() - 4, u'n') + QStringLiteral(".jpg");
        QCOMPARE(source.size(), length);
        QVERIFY(QDir().mkpath(folder));
        writePicture(source, photoLike(8, 8), "JPG");

        TestPlatform t;
        WindowModel w;
        connectHandlers(w, t.platform);
        w.OLEDragDrop(files({source}));
        QCOMPARE(w.Label1.caption(), source);
        if (taken) {
            QVERIFY(t.messages.shown.empty());
            QCOMPARE(w.Text1.text(), source.chopped(3) + QStringLiteral("bmp"));
            QCOMPARE(w.Text3.text(), QStringLiteral("jpg"));
        } else {
            QCOMPARE(t.messages.shown.size(), size_t(1));
            QCOMPARE(w.Text1.text(), QString());
            QCOMPARE(w.Text3.text(), QString());
            QVERIFY(w.Image1.picture().isNull());
        }
    }

    // A refused drop leaves the earlier file's picture, output path and mode beside the
    // refused file's path: whatever the reason, the press that follows writes nothing.
    void pressAfterARefusedDrop_data()
    {
        QTest::addColumn<QString>("earlier");
        QTest::addColumn<int>("kind");
        const std::pair<const char*, FailureKind> kinds[] = {
            {"not found", FailureKind::FileNotFound},    {"not a picture", FailureKind::NotAPicture},
            {"too large", FailureKind::TooLarge},        {"unreadable", FailureKind::ReadFailed},
            {"path too long", FailureKind::PathTooLong},
        };
        for (const char* earlier : {"red.bmp", "red.jpg"})
            for (const auto& [name, kind] : kinds)
                QTest::addRow("%s, then %s", earlier, name) << QString::fromLatin1(earlier) << int(kind);
    }
    void pressAfterARefusedDrop()
    {
        QFETCH(QString, earlier);
        QFETCH(int, kind);
        QTemporaryDir here;
        WorkingDirectory cwd(here.path());  // the press saves Pelk.ini here
        TestPlatform t;
        RefusingPictures pictures;
        LibjpegEncoder encoder;
        t.encoder.delegate = &encoder;
        Platform platform{pictures, t.files, t.messages, t.windowSystem, t.encoder};
        WindowModel w;
        connectHandlers(w, platform);
        w.Text2.setText(QStringLiteral("75"));

        const QString source = here.filePath(earlier);
        QImage red(16, 16, QImage::Format_RGB32);
        red.fill(Qt::red);
        writePicture(source, red, earlier.endsWith(u"bmp") ? "BMP" : "JPG");
        w.OLEDragDrop(files({source}));
        QVERIFY(t.messages.shown.empty());
        const QString output = w.Text1.text();

        // The refused file: a blue bitmap, of the same type as the earlier one.
        QString refused = here.filePath(QStringLiteral("blue.") + earlier.right(3));
        if (FailureKind(kind) == FailureKind::PathTooLong) {
            QString folder = here.path() + u'/';
            while (folder.size() < 520)
                folder += QString(100, u'p') + u'/';
            QVERIFY(QDir().mkpath(folder));
            refused = folder + QStringLiteral("blue.") + earlier.right(3);
        }
        QImage blue(16, 16, QImage::Format_RGB32);
        blue.fill(Qt::blue);
        writePicture(refused, blue, earlier.endsWith(u"bmp") ? "BMP" : "JPG");
        pictures.refused = refused;
        pictures.kind = FailureKind(kind);
        w.Image1.OLEDragDrop(files({refused}));
        QCOMPARE(t.messages.shown.size(), size_t(1));
        QCOMPARE(w.Label1.caption(), refused);

        w.Command1.Click();
        QCOMPARE(t.messages.shown.size(), size_t(1));  // no 完了しました。
        QVERIFY(!QFileInfo::exists(output));
        QVERIFY(!QFileInfo::exists(refused.chopped(3)
                                   + (earlier.endsWith(u"bmp") ? QStringLiteral("jpg") : QStringLiteral("bmp"))));
        QVERIFY(t.encoder.calls.empty());

        // A good drop brings the conversions back.
        w.OLEDragDrop(files({source}));
        w.Command1.Click();
        QCOMPARE(t.messages.texts().last(), QStringLiteral("完了しました。"));
        const QImage written(output);
        QVERIFY(!written.isNull());
        const QColor middle = written.pixelColor(8, 8);
        QVERIFY2(middle.red() > 200 && middle.blue() < 60, qPrintable(middle.name()));
    }

    void newDropsLeaveTheOutputSideAlone()
    {
        TestPlatform t;
        WindowModel w;
        connectHandlers(w, t.platform);
        w.Image2.setPicture(photoLike(5, 5));
        w.Label7.setCaption(QStringLiteral("123Bytes"));
        w.OLEDragDrop(files({picture(QStringLiteral("two.jpg"), "JPG")}));
        QCOMPARE(w.Image2.picture().size(), QSize(5, 5));
        QCOMPARE(w.Label7.caption(), QStringLiteral("123Bytes"));
    }
};

QTEST_GUILESS_MAIN(SourceIntakeTest)
#include "test_source_intake.moc"
