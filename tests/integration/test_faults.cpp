// Faults around a conversion, with the real picture service and encoder: a full disk
// at the output and at the settings file, a read-only output folder, files and folders
// that vanish or change between the drop and the press, a settings file that is a
// folder, and unusual paths. In each: no crash, an older file at the target intact, no
// temporary file left behind, and a following drop and press still work.

#include "app/wiring.h"
#include "platform/real/jpeg/libjpeg_encoder.h"
#include "support/files.h"
#include "support/image_bmp.h"
#include "support/real_platform.h"
#include "support/scratch_mount.h"
#include "window/window_model.h"

#include <QDir>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace pelk;
using namespace pelk::test;

namespace {

const QString completion = QStringLiteral("完了しました。");
const QByteArray olderOutput = "an older file at the target, to be kept as it is";

// Writes until the file system refuses: what is left is too little for any picture.
void fillUp(const QString& folder)
{
    QFile filler(folder + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(64 * 1024, 'f');
    while (filler.write(block) == block.size() && filler.flush()) { }
    const QByteArray byte(1, 'f');
    while (filler.write(byte) == 1 && filler.flush()) { }
}

QSize decodedSize(const QString& path)
{
    QImageReader reader(path);
    const QImage picture = reader.read();
    return picture.isNull() ? QSize() : picture.size();
}

}  // namespace

class TestFaults : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TestPlatform> platform_;
    std::unique_ptr<WindowModel> window_;
    LibjpegEncoder encoder_;
    std::unique_ptr<WorkingDirectory> cwd_;

    QString path(const QString& name) const { return dir_->filePath(name); }

    void drop(const QString& file) { window_->OLEDragDrop(DropData{true, {file}}); }

    void press() { window_->Command1.Click(); }

    bool completed() const { return platform_->messages.texts().contains(completion); }

    // A source of the kind the name asks for.
    void writeSource(const QString& file)
    {
        const QImage picture = photoLike(48, 40, 11);
        if (file.endsWith(u"bmp"))
            writeBytes(file, makeBmp(picture, BmpLayout::Rgb24).bytes);
        else
            writePicture(file, picture, "JPG");
    }

    static QString outputOf(const QString& source)
    {
        return source.chopped(4) + (source.endsWith(u"bmp") ? QStringLiteral(".jpg") : QStringLiteral(".bmp"));
    }

    // The window still works: a valid drop and press elsewhere convert.
    void checkStillUsable()
    {
        QDir(dir_->path()).mkdir(QStringLiteral("after"));
        const QString source = path(QStringLiteral("after/fine.bmp"));
        writeSource(source);
        platform_->messages.shown.clear();
        drop(source);
        QVERIFY2(platform_->messages.shown.empty(), qPrintable(platform_->messages.texts().join(u'|')));
        press();
        QCOMPARE(platform_->messages.texts(), QStringList{completion});
        QCOMPARE(decodedSize(outputOf(source)), QSize(48, 40));
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QDir(dir_->path()).mkdir(QStringLiteral("cwd"));
        cwd_ = std::make_unique<WorkingDirectory>(path(QStringLiteral("cwd")));
        platform_ = std::make_unique<TestPlatform>();
        platform_->encoder.delegate = &encoder_;
        window_ = std::make_unique<WindowModel>();
        connectHandlers(*window_, platform_->platform);
        window_->Load();  // the quality box as at start-up
    }

    void cleanup()
    {
        window_.reset();
        platform_.reset();
        cwd_.reset();
        dir_.reset();
    }

    void fullDiskAtOutput_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("bitmap to JPEG") << "photo.bmp";
        QTest::newRow("JPEG to bitmap") << "photo.jpg";
    }

    void fullDiskAtOutput()
    {
        QFETCH(QString, name);
        const QString folder = path(QStringLiteral("disk"));
        QVERIFY(QDir().mkpath(folder));
        ScratchMount mount(folder, QStringLiteral("512k"));
        if (!mount.ok())
            QSKIP("cannot mount a small file system here (needs root and mount)");
        const QString source = folder + u'/' + name;
        writeSource(source);
        writeBytes(outputOf(source), olderOutput);
        drop(source);
        QVERIFY(platform_->messages.shown.empty());
        fillUp(folder);
        const QStringList before = entries(folder);

        press();
        QVERIFY2(!completed(), "a conversion that could not be written was confirmed");
        QCOMPARE(readBytes(outputOf(source)), olderOutput);
        QCOMPARE(entries(folder), before);

        // Room again: the same file converts.
        QVERIFY(QFile::remove(folder + QStringLiteral("/filler")));
        drop(source);
        press();
        QVERIFY(completed());
        QCOMPARE(decodedSize(outputOf(source)), QSize(48, 40));
    }

    void fullDiskAtSettings()
    {
        const QString folder = path(QStringLiteral("settings"));
        QVERIFY(QDir().mkpath(folder));
        ScratchMount mount(folder, QStringLiteral("256k"));
        if (!mount.ok())
            QSKIP("cannot mount a small file system here (needs root and mount)");
        const WorkingDirectory inside(folder);  // left before the mount goes
        const QByteArray older = "42\r\n 1 \r\n 0 \r\n";
        writeBytes(folder + QStringLiteral("/Pelk.ini"), older);
        fillUp(folder);
        const QStringList before = entries(folder);

        window_->Text2.setText(QStringLiteral("77"));
        const QString source = path(QStringLiteral("photo.bmp"));
        writeSource(source);
        drop(source);
        press();
        QVERIFY(completed());  // the conversion itself is fine
        QCOMPARE(readBytes(folder + QStringLiteral("/Pelk.ini")), older);
        QCOMPARE(entries(folder), before);
        checkStillUsable();
    }

    void readOnlyOutputFolder_data() { fullDiskAtOutput_data(); }

    void readOnlyOutputFolder()
    {
        QFETCH(QString, name);
        const QString folder = path(QStringLiteral("ro"));
        QVERIFY(QDir().mkpath(folder));
        ScratchMount mount(folder, QStringLiteral("4m"));
        if (!mount.ok())
            QSKIP("cannot mount a small file system here (needs root and mount)");
        const QString source = folder + u'/' + name;
        writeSource(source);
        writeBytes(outputOf(source), olderOutput);
        QVERIFY(mount.makeReadOnly());
        const QStringList before = entries(folder);
        drop(source);
        QVERIFY(platform_->messages.shown.empty());
        press();
        QVERIFY(!completed());
        QCOMPARE(readBytes(outputOf(source)), olderOutput);
        QCOMPARE(entries(folder), before);
        checkStillUsable();
    }

    void outputFolderRemoved()
    {
        const QString folder = path(QStringLiteral("gone"));
        QVERIFY(QDir().mkpath(folder));
        const QString source = folder + QStringLiteral("/photo.jpg");
        writeSource(source);
        drop(source);
        QVERIFY(platform_->messages.shown.empty());
        QVERIFY(QDir(folder).removeRecursively());
        press();
        QVERIFY(!completed());
        QVERIFY(!QFileInfo::exists(folder));
        checkStillUsable();
    }

    void sourceChangedAfterDrop_data()
    {
        QTest::addColumn<QByteArray>("replacement");  // empty: deleted
        QTest::newRow("deleted") << QByteArray();
        QTest::newRow("replaced by text") << QByteArray("no longer a picture\n");
        QTest::newRow("replaced by a cut-short bitmap")
            << makeBmp(photoLike(48, 40), BmpLayout::Rgb24).bytes.left(2000);
    }

    void sourceChangedAfterDrop()
    {
        QFETCH(QByteArray, replacement);
        const QString source = path(QStringLiteral("photo.bmp"));
        writeSource(source);
        writeBytes(outputOf(source), olderOutput);
        drop(source);
        QVERIFY(platform_->messages.shown.empty());
        QVERIFY(QFile::remove(source));
        if (!replacement.isEmpty())
            writeBytes(source, replacement);
        const QStringList before = entries(dir_->path());
        press();
        QVERIFY(!completed());
        QCOMPARE(readBytes(outputOf(source)), olderOutput);
        QCOMPARE(entries(dir_->path()), before);
        checkStillUsable();
    }

    void settingsFileIsAFolder()
    {
        const QString folder = path(QStringLiteral("cwd"));
        QVERIFY(QDir(folder).mkdir(QStringLiteral("Pelk.ini")));
        window_->Load();  // reads nothing, fails nothing
        const QStringList before = entries(folder);
        checkStillUsable();
        QVERIFY(QFileInfo(folder + QStringLiteral("/Pelk.ini")).isDir());
        QCOMPARE(entries(folder), before);
    }

    // The output path box keeps 500 characters: a longer path would be cut there to another
    // file's name, so the drop is refused and the press writes nothing anywhere.
    void pathOf4000Characters_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("bitmap to JPEG") << "photo.bmp";
        QTest::newRow("JPEG to bitmap") << "photo.jpg";
    }

    void pathOf4000Characters()
    {
        QFETCH(QString, name);
        QString deep = dir_->path() + u'/';
        while (deep.size() < 4000 - 210)
            deep += QString(200, u'd') + u'/';
        const QString source = deep + name;
        QVERIFY(source.size() > 3800 && source.size() < 4096);
        QVERIFY(QDir().mkpath(deep));
        writeSource(source);
        writeBytes(outputOf(source), olderOutput);
        drop(source);
        QCOMPARE(platform_->messages.shown.size(), std::size_t(1));
        QVERIFY(platform_->messages.shown[0].text.contains(QStringLiteral("パスが長すぎます")));
        QCOMPARE(window_->Text1.text(), QString());
        QCOMPARE(window_->Text3.text(), QString());  // retired: a press converts nothing
        const QStringList top = entries(dir_->path());
        press();
        QVERIFY(!completed());
        QCOMPARE(readBytes(outputOf(source)), olderOutput);
        QStringList expected{QFileInfo(outputOf(source)).fileName(), name};
        expected.sort();
        QCOMPARE(entries(deep), expected);
        QCOMPARE(entries(dir_->path()), top);
        checkStillUsable();
    }

    void unusualPaths_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::newRow("450 characters") << QString(220, u'd') + u'/' + QString(220, u'e') + QStringLiteral(".bmp");
        QTest::newRow("newline") << QStringLiteral("two\nlines.bmp");
        QTest::newRow("starts with a dash") << QStringLiteral("-photo.bmp");
        QTest::newRow("dash folder, JPEG") << QStringLiteral("-rf/-photo.jpg");
        QTest::newRow("outside the BMP before .bmp") << QStringLiteral("photo\U0001F600.bmp");
        QTest::newRow("outside the BMP before .jpg") << QStringLiteral("photo\U0001F600.jpg");
        QTest::newRow("longest file name") << QString(251, u'n') + QStringLiteral(".bmp");
    }

    void unusualPaths()
    {
        QFETCH(QString, relative);
        const QString source = path(relative);
        QVERIFY(QDir().mkpath(QFileInfo(source).path()));
        writeSource(source);
        writeBytes(outputOf(source), olderOutput);
        drop(source);
        QVERIFY2(platform_->messages.shown.empty(), qPrintable(platform_->messages.texts().join(u'|')));
        QCOMPARE(window_->Text1.text(), outputOf(source));
        const QStringList before = entries(QFileInfo(source).path());
        press();
        QCOMPARE(readBytes(outputOf(source)).isEmpty(), false);  // never emptied
        QCOMPARE(platform_->messages.texts(), QStringList{completion});
        QCOMPARE(decodedSize(outputOf(source)), QSize(48, 40));
        QCOMPARE(entries(QFileInfo(source).path()), before);  // replaced in place, nothing else
        checkStillUsable();
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "test_faults.moc"
