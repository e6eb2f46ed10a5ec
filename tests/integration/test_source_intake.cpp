// Drops over real files: each type shown and its mode set, the real picture service's
// refusals, and a press after a refused drop writing nothing.
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
    // Each type the window knows, from a real file: shown with its size, its mode set.
    void eachTypeFromARealFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QString>("output");   // empty: none proposed
        QTest::addColumn<QString>("caption");  // empty: the design caption stays
        QTest::addColumn<bool>("qualityVisible");
        QTest::newRow("bmp") << "photo.bmp" << QByteArray("BMP") << "photo.jpg" << bmpCaption << true;
        QTest::newRow("jpg") << "photo.jpg" << QByteArray("JPG") << "photo.bmp" << jpgCaption << false;
        QTest::newRow("gif") << "pic.gif" << QByteArray("GIF") << "pic.bmp" << gifCaption << false;
        QTest::newRow("ico") << "icon.ico" << QByteArray("ICO") << ""
                             << "" << true;
    }
    void eachTypeFromARealFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        QFETCH(QString, output);
        QFETCH(QString, caption);
        QFETCH(bool, qualityVisible);
        TestPlatform t;
        WindowModel w;
        connectHandlers(w, t.platform);
        const QString designCaption = w.Command1.caption();
        const QString source = picture(name, format.constData(), 32, 32);
        w.OLEDragDrop(files({source}));
        QVERIFY2(t.messages.shown.empty(), qPrintable(t.messages.texts().join(u'|')));
        QCOMPARE(w.Image1.picture().size(), QSize(32, 32));
        QCOMPARE(w.Label6.caption(), QString::number(QFile(source).size()) + QStringLiteral("Bytes"));
        QCOMPARE(w.Text3.text(), name.right(3));
        QCOMPARE(w.Text1.text(), output.isEmpty() ? QString() : path(output));
        QCOMPARE(w.Command1.caption(), caption.isEmpty() ? designCaption : caption);
        QCOMPARE(qualityGroupVisible(w), qualityVisible);
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
        QCOMPARE(w.Text1.text(), path(QStringLiteral("good.bmp")));
        QCOMPARE(w.Command1.caption(), jpgCaption);
        QCOMPARE(t.messages.shown.size(), size_t(1));
        QVERIFY(t.messages.shown[0].text.contains(bad));
        QVERIFY2(t.messages.shown[0].text.contains(reason), qPrintable(t.messages.shown[0].text));
        QCOMPARE(t.messages.shown[0].title, QStringLiteral("Pelk17"));
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
};

QTEST_GUILESS_MAIN(SourceIntakeTest)
#include "test_source_intake.moc"
