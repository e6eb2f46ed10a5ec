// Drops onto the real widgets with real QMimeData and real files: what the window shows
// afterwards, which drags it takes, and what a failed drop tells the user.
#include "support/files.h"
#include "support/view_fixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <cstdio>

using namespace pelk;
using namespace pelk::test;

namespace {

// Left half red, right half blue: a stretched preview keeps the halves where they were.
QImage halves(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, x < width / 2 ? qRgb(230, 20, 20) : qRgb(20, 20, 230));
    return image;
}

bool near(QRgb a, QRgb b, int tolerance = 40)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance
        && qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

}  // namespace

class ViewDropsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    QString picture(const QString& name, const char* format, const QImage& image)
    {
        writePicture(path(name), image, format);
        return path(name);
    }

    static QString sizeText(const QString& file)
    {
        return QString::number(QFileInfo(file).size()) + QStringLiteral("Bytes");
    }

private slots:
    void dropShowsTheFile_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("qualityVisible");
        const QString bmp = QStringLiteral("BMPからjpeg へ変換");
        const QString jpg = QStringLiteral("jpegから BMPへ変換");
        const QString gif = QStringLiteral("gifから BMPへ変換");
        QTest::newRow("bmp on Image2") << "Image2"
                                       << "a.bmp" << QByteArray("BMP") << "a.jpg" << bmp << true;
        QTest::newRow("jpg on Image2") << "Image2"
                                       << "b.jpg" << QByteArray("JPG") << "b.bmp" << jpg << false;
        QTest::newRow("gif on Image1") << "Image1"
                                       << "c.gif" << QByteArray("GIF") << "c.bmp" << gif << false;
        QTest::newRow("jpg on the window") << "window"
                                           << "d.jpg" << QByteArray("JPG") << "d.bmp" << jpg << false;
        QTest::newRow("bmp on a label") << "Label3"
                                        << "e.bmp" << QByteArray("BMP") << "e.jpg" << bmp << true;
        QTest::newRow("jpg on the path box") << "Text1"
                                             << "f.jpg" << QByteArray("JPG") << "f.bmp" << jpg << false;
        QTest::newRow("gif on a check box") << "Check1"
                                            << "g.gif" << QByteArray("GIF") << "g.bmp" << gif << false;
    }
    void dropShowsTheFile()
    {
        QFETCH(QString, target);
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        QFETCH(QString, output);
        QFETCH(QString, caption);
        QFETCH(bool, qualityVisible);
        const QString file = picture(name, format.constData(), halves(64, 16));

        ViewFixture f;
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        QWidget* onto = target == u"window" ? static_cast<QWidget*>(f.window.get()) : f.widget(target);
        const auto mime = fileDrag({file});
        const DropResult result = dropOn(onto, mime.get());

        QVERIFY(result.enterAccepted);
        QVERIFY(result.dropAccepted);
        QCOMPARE(result.action, Qt::CopyAction);
        QCOMPARE(f.platform.messages.texts(), QStringList());
        QCOMPARE(f.widget<QLabel>("Label1")->text(), file);
        QCOMPARE(f.widget<QLabel>("Label6")->text(), sizeText(file));
        QCOMPARE(f.widget<QLineEdit>("Text1")->text(), path(output));
        QCOMPARE(f.widget<QPushButton>("Command1")->text(), caption);
        for (const char* q : {"HScroll1", "Label2", "Text2", "Label8"})
            QVERIFY2(f.widget(QString::fromLatin1(q))->isVisible() == qualityVisible, q);

        // The source preview fills its box exactly, whatever the picture's aspect, and
        // keeps the picture's halves in place; the output preview stays empty.
        auto* preview = f.widget<PictureView>("Image1");
        const QImage shown = preview->shownPixmap().toImage();
        QCOMPARE(shown.size(), preview->contentsRect().size());
        QVERIFY(near(shown.pixel(5, shown.height() / 2), qRgb(230, 20, 20)));
        QVERIFY(near(shown.pixel(shown.width() - 5, shown.height() / 2), qRgb(20, 20, 230)));
        QVERIFY(near(shown.pixel(5, 2), qRgb(230, 20, 20)));
        QVERIFY(near(shown.pixel(5, shown.height() - 3), qRgb(230, 20, 20)));
        QVERIFY(f.widget<PictureView>("Image2")->shownPixmap().isNull());
        // And that is what the screen shows.
        const QImage screen = preview->grab().toImage();
        const QPoint inside = preview->contentsRect().topLeft() + QPoint(5, 20);
        QVERIFY(near(screen.pixel(inside), qRgb(230, 20, 20)));
    }

    void lastFileOfSeveralStays()
    {
        const QString first = picture("first.jpg", "JPG", halves(20, 20));
        const QString last = picture("last.bmp", "BMP", halves(30, 10));
        ViewFixture f;
        const auto mime = fileDrag({first, last});
        dropOn(f.widget("Image1"), mime.get());
        QCOMPARE(f.widget<QLabel>("Label1")->text(), last);
        QCOMPARE(f.widget<QLineEdit>("Text1")->text(), path("last.jpg"));
    }

    void nonFileUrlsAreSkipped_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<bool>("takesTheFile");
        const QUrl recent(QStringLiteral("recent:///6a1f3c"));
        const QUrl web(QStringLiteral("https://example.com/cat.bmp"));
        const QUrl local = QUrl::fromLocalFile(path("skip.bmp"));
        QTest::newRow("recent: after the file") << QList<QUrl>{local, recent} << true;
        QTest::newRow("web before the file") << QList<QUrl>{web, local} << true;
        QTest::newRow("only recent:") << QList<QUrl>{recent} << false;
    }
    void nonFileUrlsAreSkipped()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(bool, takesTheFile);
        picture("skip.bmp", "BMP", halves(8, 8));
        const QString earlier = picture("earlier.jpg", "JPG", halves(8, 8));
        ViewFixture f;
        const auto first = fileDrag({earlier});
        dropOn(f.window.get(), first.get());

        QMimeData mime;
        mime.setUrls(urls);
        dropOn(f.widget("Image2"), &mime);
        QCOMPARE(f.widget<QLabel>("Label1")->text(), takesTheFile ? path("skip.bmp") : earlier);
        QCOMPARE(f.platform.messages.texts(), QStringList());
    }

    // Text alone is no file list: the drop is taken, the path stays, and the file already
    // shown is read again.
    void textOnlyDropRereadsTheCurrentFile()
    {
        const QString file = picture("grows.bmp", "BMP", halves(10, 10));
        const QString other = picture("other.jpg", "JPG", halves(10, 10));
        ViewFixture f;
        const auto mime = fileDrag({file});
        dropOn(f.widget("Image1"), mime.get());

        int expectedSide = 10;
        QMimeData text;
        text.setText(other);
        for (QWidget* target : {static_cast<QWidget*>(f.window.get()), f.widget("Image1"), f.widget("Image2")}) {
            expectedSide += 10;
            writePicture(file, halves(expectedSide, expectedSide), "BMP");  // the file changes on disk
            const DropResult result = dropOn(target, &text);
            QVERIFY(result.enterAccepted);
            QVERIFY(result.dropAccepted);
            QTRY_COMPARE(f.model.Image1.picture().size(), QSize(expectedSide, expectedSide));
            QCOMPARE(f.widget<QLabel>("Label1")->text(), file);
            QCOMPARE(f.widget<QLabel>("Label6")->text(),
                     QString::number(QFileInfo(file).size()) + QStringLiteral("Bytes"));
        }
        QCOMPARE(f.widget<QLineEdit>("Text1")->text(), path("grows.jpg"));
        QCOMPARE(f.platform.messages.shown.size(), std::size_t(0));
    }

    // Before any file, a text drop tries the path the label shows at start and says so.
    void textOnlyDropBeforeAnyFileReportsIt()
    {
        ViewFixture f;
        QMimeData text;
        text.setText(QStringLiteral("hello"));
        const DropResult result = dropOn(f.widget("Image2"), &text);
        QVERIFY(result.dropAccepted);
        QTRY_COMPARE(f.platform.messages.shown.size(), std::size_t(1));
        QVERIFY(f.platform.messages.shown[0].text.contains(QStringLiteral("現在のファイル名")));
        QCOMPARE(f.model.Text3.text(), QString());  // retired by the refusal
    }

    // What a drop hands to the handlers: the file-list flag follows the uri list, and
    // only local files are paths.
    void dropData()
    {
        QMimeData text;
        text.setText(QStringLiteral("/tmp/cat.bmp"));
        const DropData fromText = dropDataFrom(&text);
        QVERIFY(!fromText.hasFileList);
        QVERIFY(fromText.files.isEmpty());

        QMimeData mixed;
        mixed.setUrls({QUrl(QStringLiteral("recent:///1")), QUrl::fromLocalFile(QStringLiteral("/tmp/a b/猫.bmp")),
                       QUrl(QStringLiteral("sftp://host/x.bmp")), QUrl::fromLocalFile(QStringLiteral("/tmp/2.jpg"))});
        mixed.setText(QStringLiteral("ignored"));
        const DropData fromUrls = dropDataFrom(&mixed);
        QVERIFY(fromUrls.hasFileList);
        QCOMPARE(fromUrls.files, (QStringList{QStringLiteral("/tmp/a b/猫.bmp"), QStringLiteral("/tmp/2.jpg")}));
    }

    // A name whose bytes are no UTF-8 reaches the window as text with U+FFFD for them: it
    // is refused by its own reason, never opened by that text, which may name another file.
    void undecodableNameIsRefused_data()
    {
        QTest::addColumn<QByteArray>("dropped");   // the name as the drop source gives it
        QTest::addColumn<QStringList>("present");  // other pictures in the folder
        QTest::addColumn<bool>("refused");
        const QString namesake = QStringLiteral("bad\uFFFD.jpg");
        QTest::newRow("beside its U+FFFD namesake") << QByteArray("bad\xff.jpg") << QStringList{namesake} << true;
        QTest::newRow("Latin-1 name alone") << QByteArray("g\xe9t\xe9.jpg") << QStringList{} << true;
        QTest::newRow("U+FFFD really in the name") << namesake.toUtf8() << QStringList{} << false;
        QTest::newRow("percent, hash and space") << QByteArray("100% #1.jpg") << QStringList{} << false;
        QTest::newRow("Japanese") << QStringLiteral("写真.jpg").toUtf8() << QStringList{} << false;
    }
    void undecodableNameIsRefused()
    {
        QFETCH(QByteArray, dropped);
        QFETCH(QStringList, present);
        QFETCH(bool, refused);
        QTemporaryDir here;
        const QByteArray file = QFile::encodeName(here.path()) + '/' + dropped;
        // Qt cannot name such a file, so the picture is made under a plain name and moved;
        // for the same reason the folder cannot remove it, so the test does.
        const QString made = here.filePath(QStringLiteral("made.jpg"));
        writePicture(made, halves(32, 8), "JPG");
        QVERIFY(std::rename(QFile::encodeName(made).constData(), file.constData()) == 0);
        const auto removeDropped = qScopeGuard([&] { std::remove(file.constData()); });
        for (const QString& name : present)
            writePicture(here.filePath(name), halves(16, 16), "JPG");

        WorkingDirectory cwd(here.path());
        ViewFixture f;
        f.model.Load();  // start-up puts the quality into its box
        QMimeData mime;
        mime.setData(QStringLiteral("text/uri-list"), "file://" + file.toPercentEncoding("/") + "\r\n");
        QVERIFY(dropOn(f.widget("Image1"), &mime).dropAccepted);
        QTest::mouseClick(f.widget("Command1"), Qt::LeftButton);

        const QStringList written = QDir(here.path()).entryList({QStringLiteral("*.bmp")}, QDir::Files);
        if (refused) {
            QCOMPARE(f.platform.messages.shown.size(), std::size_t(1));
            QVERIFY2(f.platform.messages.shown[0].text.endsWith(
                         QStringLiteral("ファイル名に読み取れない文字が含まれています。")),
                     qPrintable(f.platform.messages.shown[0].text));
            QVERIFY(f.widget<PictureView>("Image1")->shownPixmap().isNull());
            QCOMPARE(f.widget<QLabel>("Label6")->text(), QStringLiteral("サイズ"));
            QCOMPARE(written, QStringList());
        } else {
            QCOMPARE(f.platform.messages.texts(), QStringList{QStringLiteral("完了しました。")});
            QCOMPARE(written,
                     QStringList{QString::fromUtf8(dropped).replace(QStringLiteral(".jpg"), QStringLiteral(".bmp"))});
            const QImage bitmap(here.filePath(written[0]), "BMP");
            QCOMPARE(bitmap.size(), QSize(32, 8));  // the dropped picture, not another
            QVERIFY(near(bitmap.pixel(2, 4), qRgb(230, 20, 20)));
        }
    }

    // The drop event returns before the file is read, so a message box the handler may
    // open never holds up the drag source; the file is taken right after.
    void dropEndsBeforeTheFileIsRead()
    {
        const QString empty = path("late.bmp");
        writeBytes(empty, {});
        ViewFixture f;
        const auto mime = fileDrag({empty});
        const DropResult result = dropOn(f.widget("Image2"), mime.get(), Qt::CopyAction, false);
        QVERIFY(result.dropAccepted);
        QCOMPARE(f.platform.messages.shown.size(), std::size_t(0));
        QCOMPARE(f.widget<QLabel>("Label1")->text(), QStringLiteral("現在のファイル名　"));
        QTRY_COMPARE(f.platform.messages.shown.size(), std::size_t(1));
        QCOMPARE(f.widget<QLabel>("Label1")->text(), empty);
    }

    void failedDropIsReported()
    {
        const QString empty = path("empty.bmp");
        writeBytes(empty, {});
        ViewFixture f;
        const auto mime = fileDrag({empty});
        dropOn(f.widget("Image2"), mime.get());
        QCOMPARE(f.platform.messages.shown.size(), std::size_t(1));
        const ShownMessage& told = f.platform.messages.shown[0];
        QVERIFY2(told.text.contains(empty), qPrintable(told.text));
        QCOMPARE(told.title, QStringLiteral("Pelk17"));
        // The path is taken, nothing after the failing load is.
        QCOMPARE(f.widget<QLabel>("Label1")->text(), empty);
        QCOMPARE(f.widget<QLabel>("Label6")->text(), QStringLiteral("サイズ"));
        QCOMPARE(f.widget<QPushButton>("Command1")->text(), QStringLiteral("BMPからJPEGへ変換"));
        QVERIFY(f.widget<PictureView>("Image1")->shownPixmap().isNull());
    }

    // The window only reads the file: it takes a copy even when the source proposes a
    // move, and refuses a drag that can only be moved.
    void dropsAreCopies_data()
    {
        QTest::addColumn<int>("possible");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("action");
        QTest::newRow("copy or move") << int(Qt::CopyAction | Qt::MoveAction) << true << int(Qt::CopyAction);
        QTest::newRow("link or move") << int(Qt::LinkAction | Qt::MoveAction) << true << int(Qt::LinkAction);
        QTest::newRow("move only") << int(Qt::MoveAction) << false << int(Qt::IgnoreAction);
    }
    void dropsAreCopies()
    {
        QFETCH(int, possible);
        QFETCH(bool, accepted);
        QFETCH(int, action);
        const QString file = picture("keep.jpg", "JPG", halves(8, 8));
        ViewFixture f;
        const auto mime = fileDrag({file});
        for (QWidget* target : {static_cast<QWidget*>(f.window.get()), f.widget("Image1"), f.widget("Image2")}) {
            const QPoint at = target->rect().center();
            QDragEnterEvent enter(at, Qt::DropActions(possible), mime.get(), Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &enter);
            QCOMPARE(enter.isAccepted(), accepted);
            if (accepted)
                QCOMPARE(int(enter.dropAction()), action);
        }
        QVERIFY(QFileInfo::exists(file));
    }

    // Nothing happens while a drag passes over the window.
    void draggingOverChangesNothing()
    {
        const QString file = picture("over.bmp", "BMP", halves(8, 8));
        ViewFixture f;
        const auto mime = fileDrag({file});
        for (QWidget* target : {static_cast<QWidget*>(f.window.get()), f.widget("Image1"), f.widget("Image2")}) {
            const QPoint at = target->rect().center();
            QDragEnterEvent enter(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &enter);
            QDragMoveEvent move(at + QPoint(3, 3), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &move);
            QVERIFY(enter.isAccepted());
            QVERIFY(move.isAccepted());
            QDragLeaveEvent leave;
            QApplication::sendEvent(target, &leave);
        }
        QCOMPARE(f.widget<QLabel>("Label1")->text(), QStringLiteral("現在のファイル名　"));
        QVERIFY(f.model.Image1.picture().isNull());
        QCOMPARE(f.platform.messages.shown.size(), std::size_t(0));
    }

    // From the drop to the press: a dropped JPEG becomes a bitmap beside it, shown on
    // the right with its size.
    void dropThenPress()
    {
        const QString jpg = picture("photo.jpg", "JPG", halves(48, 32));
        WorkingDirectory cwd(dir.path());
        ViewFixture f;
        f.model.Load();  // start-up puts the quality into its box
        const auto mime = fileDrag({jpg});
        dropOn(f.widget("Image2"), mime.get());
        QTest::mouseClick(f.widget("Command1"), Qt::LeftButton);

        const QString bmp = path("photo.bmp");
        QCOMPARE(f.platform.messages.texts(), QStringList{QStringLiteral("完了しました。")});
        const QImage written(bmp, "BMP");
        QCOMPARE(written.size(), QSize(48, 32));
        QVERIFY(near(written.pixel(2, 16), qRgb(230, 20, 20)));
        QCOMPARE(f.widget<QLabel>("Label7")->text(), sizeText(bmp));
        const QImage shown = f.widget<PictureView>("Image2")->shownPixmap().toImage();
        QCOMPARE(shown.size(), f.widget<PictureView>("Image2")->contentsRect().size());
        QVERIFY(near(shown.pixel(shown.width() - 4, 10), qRgb(20, 20, 230)));
    }

    // A large picture is scaled once, when it arrives, not on every paint.
    void pictureScaledOncePerPicture()
    {
        const QString file = picture("big.bmp", "BMP", halves(2000, 1500));
        ViewFixture f;
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        const auto mime = fileDrag({file});
        dropOn(f.widget("Image1"), mime.get());
        auto* preview = f.widget<PictureView>("Image1");
        const qint64 key = preview->shownPixmap().cacheKey();
        preview->repaint();
        // The box is told again about the same picture (any change of the control).
        f.model.Image1.setVisible(false);
        f.model.Image1.setVisible(true);
        preview->repaint();
        QCOMPARE(preview->shownPixmap().cacheKey(), key);
        QCOMPARE(preview->shownPixmap().size(), preview->contentsRect().size());
    }
};

QTEST_MAIN(ViewDropsTest)
#include "test_view_drops.moc"
