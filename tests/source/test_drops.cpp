// Drops, go and rename on the fake platform: the mode table, what each failing step
// leaves in the window, and the failed-drop message.
#include "app/wiring.h"
#include "support/fakes.h"
#include "support/files.h"
#include "window/window_model.h"

#include <QTest>

using namespace pelk;
using namespace pelk::test;

Q_DECLARE_METATYPE(pelk::FailureKind)

namespace {

const QString bmpCaption = QStringLiteral("BMPからjpeg へ変換");
const QString jpgCaption = QStringLiteral("jpegから BMPへ変換");
const QString gifCaption = QStringLiteral("gifから BMPへ変換");

DropData files(const QStringList& paths) { return {true, paths}; }

bool qualityGroupVisible(const WindowModel& w)
{
    const bool visible = w.HScroll1.visible();
    // The four always move together.
    if (w.Label2.visible() != visible || w.Text2.visible() != visible || w.Label8.visible() != visible)
        qFatal("the quality group is split");
    return visible;
}

// A window on fakes with an earlier JPEG already taken: "unchanged" below means its mode.
struct Dropped {
    FakePlatform f;
    WindowModel w;
    const QString earlier = QStringLiteral("/pics/x.jpg");
    const QImage earlierPicture = photoLike(6, 6, 2);

    Dropped()
    {
        connectHandlers(w, f.platform);
        offer(earlier, earlierPicture, 1234);
        w.Image2.OLEDragDrop(files({earlier}));
    }
    // A picture of `length` bytes the fake platform will show for the path.
    void offer(const QString& path, const QImage& picture, qint64 length)
    {
        f.pictures.pictures.insert(path, picture);
        f.files.lengths.insert(path, length);
    }
};

}  // namespace

class DropsTest : public QObject {
    Q_OBJECT

private slots:
    void modeTable_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("output");   // empty: the output path stays as before
        QTest::addColumn<QString>("caption");  // empty: the caption stays as before
        QTest::addColumn<bool>("qualityVisible");
        QTest::addColumn<QString>("base");  // Text5
        const auto row = [](const char* name, const char* source, const char* type, const char* output,
                            const QString& caption, bool qualityVisible, const char* base) {
            QTest::newRow(name) << QString::fromUtf8(source) << QString::fromUtf8(type) << QString::fromUtf8(output)
                                << caption << qualityVisible << QString::fromUtf8(base);
        };
        row("bmp", "/pics/photo.bmp", "bmp", "/pics/photo.jpg", bmpCaption, true, "/pics/photo");
        row("jpg", "/pics/photo.jpg", "jpg", "/pics/photo.bmp", jpgCaption, false, "/pics/photo");
        row("gif", "/pics/pic.gif", "gif", "/pics/pic.bmp", gifCaption, false, "/pics/pic");
        row("upper-case BMP", "/pics/PHOTO.BMP", "BMP", "", {}, false, "/pics/x");
        row("jpeg", "/pics/photo.jpeg", "peg", "", {}, false, "/pics/x");
        row("mixed-case Jpg", "/pics/photo.Jpg", "Jpg", "", {}, false, "/pics/x");
        row("ico", "/pics/icon.ico", "ico", "", {}, false, "/pics/x");
        row("Japanese name", "/写真/写真　その1.bmp", "bmp", "/写真/写真　その1.jpg", bmpCaption, true,
            "/写真/写真　その1");
        // The base path loses four characters whatever the extension's length.
        row("extension of four", "/pics/a.xbmp", "bmp", "/pics/a..jpg", bmpCaption, true, "/pics/a.");
        // Nothing left: a maximum length of 0 is no limit, so the base is the whole path.
        row("four characters", "/bmp", "bmp", "/bmp.jpg", bmpCaption, true, "/bmp");
    }
    void modeTable()
    {
        QFETCH(QString, source);
        QFETCH(QString, type);
        QFETCH(QString, output);
        QFETCH(QString, caption);
        QFETCH(bool, qualityVisible);
        QFETCH(QString, base);
        Dropped d;
        const QImage picture = photoLike(9, 7);
        d.offer(source, picture, 512);

        d.w.Image1.OLEDragDrop(files({source}));

        QCOMPARE(d.f.messages.texts(), QStringList());
        QCOMPARE(d.w.Label1.caption(), source);
        QCOMPARE(d.w.Image1.picture(), picture);
        QCOMPARE(d.w.Label6.caption(), QStringLiteral("512Bytes"));
        QCOMPARE(d.w.Text3.text(), type);
        QCOMPARE(d.w.Text1.text(), output.isEmpty() ? QStringLiteral("/pics/x.bmp") : output);
        QCOMPARE(d.w.Command1.caption(), caption.isEmpty() ? jpgCaption : caption);
        QCOMPARE(qualityGroupVisible(d.w), qualityVisible);
        QCOMPARE(d.w.Text5.text(), base);
        QCOMPARE(d.w.Text4.text(), QString::number((output.isEmpty() ? d.earlier : source).size() - 4));
    }

    void theQualityGroupFollowsEachDrop()
    {
        Dropped d;
        for (const QString& name : {QStringLiteral("/a.bmp"), QStringLiteral("/b.gif"), QStringLiteral("/c.bmp")})
            d.offer(name, photoLike(4, 4), 10);
        WindowModel fresh;
        QVERIFY(qualityGroupVisible(fresh));  // visible when the window opens
        QVERIFY(!qualityGroupVisible(d.w));
        d.w.OLEDragDrop(files({QStringLiteral("/a.bmp")}));
        QVERIFY(qualityGroupVisible(d.w));
        d.w.Image1.OLEDragDrop(files({QStringLiteral("/b.gif")}));
        QVERIFY(!qualityGroupVisible(d.w));
        d.w.Image2.OLEDragDrop(files({QStringLiteral("/c.bmp")}));
        QVERIFY(qualityGroupVisible(d.w));
    }

    void severalFilesOnlyTheLastIsAnalysed()
    {
        Dropped d;
        const QString a = QStringLiteral("/a.jpg"), b = QStringLiteral("/missing.bmp"), c = QStringLiteral("/c.gif");
        d.offer(a, photoLike(10, 10), 10);
        d.offer(c, photoLike(12, 12), 12);
        QStringList seen;
        d.w.Label1.observe([&] { seen << d.w.Label1.caption(); });
        d.w.OLEDragDrop(files({a, b, c}));
        QCOMPARE(seen, QStringList({a, b, c}));
        QCOMPARE(d.f.messages.texts(), QStringList());
        QCOMPARE(d.w.Image1.picture().size(), QSize(12, 12));
        QCOMPARE(d.w.Text3.text(), QStringLiteral("gif"));
    }

    // A drop that offers no file list analyses the path Label1 already holds.
    void aDropWithoutFiles_data()
    {
        QTest::addColumn<bool>("afterAFile");
        QTest::newRow("before any file") << false;
        QTest::newRow("after a file") << true;
    }
    void aDropWithoutFiles()
    {
        QFETCH(bool, afterAFile);
        FakePlatform f;
        WindowModel w;
        connectHandlers(w, f.platform);
        const QString designCaption = w.Label1.caption();
        f.pictures.pictures.insert(QStringLiteral("/again.bmp"), photoLike(5, 5));
        f.files.lengths.insert(QStringLiteral("/again.bmp"), 5);
        if (afterAFile) {
            w.OLEDragDrop(files({QStringLiteral("/again.bmp")}));
            w.Text1.setText(QStringLiteral("edited by the user"));
        }
        w.Image1.OLEDragDrop(DropData{false, {}});
        if (afterAFile) {
            QCOMPARE(w.Text1.text(), QStringLiteral("/again.jpg"));
            QCOMPARE(f.messages.texts(), QStringList());
        } else {
            // The design caption is no picture: the drop fails at its first step.
            QCOMPARE(w.Label1.caption(), designCaption);
            QCOMPARE(w.Text3.text(), QString());  // retired by the refusal
            QCOMPARE(w.Label6.caption(), QStringLiteral("サイズ"));
            QCOMPARE(f.messages.texts(),
                     QStringList{QStringLiteral("次のファイルを表示できません。\n%1\n\nファイルが見つかりません。")
                                     .arg(designCaption)});
        }
    }

    // Each failing step ends the drop there: the steps before it stay done, the source type
    // is retired, and the user is told which file and why.
    void aFailedDropKeepsTheEarlierSteps_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("step");  // what fails: "picture", "length", "name"
        QTest::addColumn<FailureKind>("kind");
        QTest::addColumn<QString>("reason");
        const auto row = [](const char* name, const char* source, const char* step, FailureKind kind,
                            const QString& reason) {
            QTest::newRow(name) << QString::fromUtf8(source) << QString::fromLatin1(step) << kind << reason;
        };
        row("not found", "/bad.bmp", "picture", FailureKind::FileNotFound,
            QStringLiteral("ファイルが見つかりません。"));
        row("no picture", "/bad.jpg", "picture", FailureKind::NotAPicture,
            QStringLiteral("画像として読み込めない形式か、ファイルが壊れています。"));
        row("too large", "/bad.gif", "picture", FailureKind::TooLarge,
            QStringLiteral("画像が大きすぎるため読み込めません。"));
        row("unreadable", "/bad.bmp", "picture", FailureKind::ReadFailed, QStringLiteral("ファイルを読み込めません。"));
        row("no regular file", "/bad.bmp", "picture", FailureKind::NotAFile,
            QStringLiteral("通常のファイルではありません。"));
        row("another user's link", "/bad.bmp", "picture", FailureKind::ForeignFile,
            QStringLiteral("ほかのユーザーのファイルです。"));
        row("an unknown failure", "/bad.bmp", "picture", FailureKind::WriteFailed,
            QStringLiteral("ファイルを処理できません。"));
        row("no length", "/bad.jpg", "length", FailureKind::FileNotFound, QStringLiteral("ファイルが見つかりません。"));
        row("undecodable name", "/bad\uFFFD.bmp", "name", FailureKind::UnreadableName,
            QStringLiteral("ファイル名に読み取れない文字が含まれています。"));
    }
    void aFailedDropKeepsTheEarlierSteps()
    {
        QFETCH(QString, source);
        QFETCH(QString, step);
        QFETCH(FailureKind, kind);
        QFETCH(QString, reason);
        Dropped d;
        const QImage picture = photoLike(3, 3);
        if (step == u"picture")
            d.f.pictures.refused.insert(source, kind);
        else
            d.f.pictures.pictures.insert(source, picture);
        if (step != u"length")
            d.f.files.lengths.insert(source, 99);
        DropData drop = files({QStringLiteral("/other.bmp"), source});
        if (step == u"name")
            drop.unreadableNames = QStringList{source};

        d.w.Image2.OLEDragDrop(drop);

        QCOMPARE(d.w.Label1.caption(), source);  // the drop handler's step stays done
        QCOMPARE(d.w.Image1.picture(), step == u"length" ? picture : d.earlierPicture);
        QCOMPARE(d.w.Label6.caption(), QStringLiteral("1234Bytes"));
        QCOMPARE(d.w.Text3.text(), QString());  // retired: a press converts nothing
        QCOMPARE(d.w.Text1.text(), QStringLiteral("/pics/x.bmp"));
        QCOMPARE(d.w.Command1.caption(), jpgCaption);
        QCOMPARE(d.f.messages.texts(),
                 QStringList{QStringLiteral("次のファイルを表示できません。\n%1\n\n%2").arg(source, reason)});
        QCOMPARE(d.f.messages.shown[0].title, WindowModel::caption);
    }

    // "bmp" alone: a picture whose path is shorter than four characters fails in rename,
    // after the preview and the size are taken.
    void aPathOfThreeCharactersFailsInRename()
    {
        Dropped d;
        d.offer(QStringLiteral("bmp"), photoLike(8, 8), 8);
        d.w.OLEDragDrop(files({QStringLiteral("bmp")}));
        QCOMPARE(d.w.Image1.picture().size(), QSize(8, 8));
        QCOMPARE(d.w.Label6.caption(), QStringLiteral("8Bytes"));
        QCOMPARE(d.w.Text3.text(), QString());  // retired by the refusal
        QCOMPARE(d.w.Text4.text(), QStringLiteral("-1"));
        QCOMPARE(d.w.Text5.text(), QStringLiteral("/pics/x"));  // the negative maximum was refused
        QCOMPARE(d.w.Text1.text(), QStringLiteral("/pics/x.bmp"));
        QCOMPARE(d.f.messages.texts(),
                 QStringList{QStringLiteral("次のファイルを表示できません。\nbmp\n\nファイル名が短すぎます。")});
    }

    // The output path is as long as the source path and Text1 holds 500 characters: a
    // longer path would be proposed cut to another file's name, so its drop is refused
    // before anything is read. A type that converts nothing proposes no output.
    void pathsUpToTheOutputBoxLength_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<bool>("taken");
        QTest::newRow("500") << 500 << "jpg" << true;
        QTest::newRow("501") << 501 << "jpg" << false;
        QTest::newRow("501, ico") << 501 << "ico" << true;
    }
    void pathsUpToTheOutputBoxLength()
    {
        QFETCH(int, length);
        QFETCH(QString, extension);
        QFETCH(bool, taken);
        const QString source = u'/' + QString(length - 5, u'n') + u'.' + extension;
        QCOMPARE(source.size(), length);
        Dropped d;
        d.offer(source, photoLike(4, 4), 4);
        d.w.OLEDragDrop(files({source}));
        QCOMPARE(d.w.Label1.caption(), source);
        if (taken) {
            QCOMPARE(d.f.messages.texts(), QStringList());
            QCOMPARE(d.w.Image1.picture().size(), QSize(4, 4));
            QCOMPARE(d.w.Text3.text(), extension);
            if (extension == u"jpg")
                QCOMPARE(d.w.Text1.text(), source.chopped(3) + QStringLiteral("bmp"));
        } else {
            QCOMPARE(d.f.messages.texts(),
                     QStringList{QStringLiteral("次のファイルを表示できません。\n%1\n\n"
                                                "パスが長すぎます。変換後のファイル名が入りきりません。")
                                     .arg(source)});
            QCOMPARE(d.w.Image1.picture(), d.earlierPicture);
            QCOMPARE(d.w.Text1.text(), QStringLiteral("/pics/x.bmp"));
            QCOMPARE(d.w.Text3.text(), QString());
        }
    }

    void newDropsLeaveTheOutputSideAlone()
    {
        Dropped d;
        d.w.Image2.setPicture(photoLike(5, 5));
        d.w.Label7.setCaption(QStringLiteral("123Bytes"));
        d.offer(QStringLiteral("/two.jpg"), photoLike(7, 7), 7);
        d.w.OLEDragDrop(files({QStringLiteral("/two.jpg")}));
        QCOMPARE(d.w.Image2.picture().size(), QSize(5, 5));
        QCOMPARE(d.w.Label7.caption(), QStringLiteral("123Bytes"));
    }
};

QTEST_GUILESS_MAIN(DropsTest)
#include "test_drops.moc"
