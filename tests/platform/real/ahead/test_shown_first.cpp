// A large JPEG dropped is shown from a reduced decode while its full picture and bitmap
// are made in the background. The press writes exactly the bitmap a press on the whole
// picture writes, of the picture as it was dropped, whether the job is done or not; a
// reduced picture is never written as if it were the file's, and a job superseded or
// ended leaves nothing behind.
#include "platform/real/picture_service.h"
#include "support/corpus_files.h"
#include "support/failures.h"
#include "support/files.h"
#include "window/failure.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace pelk;
using namespace pelk::test;

namespace {

const QSize box(248, 228);  // the preview's box

// The bitmap a press writes of the whole picture: a service of its own, without the
// reduced road.
QByteArray bitmapOfWhole(const QString& jpeg, const QString& folder)
{
    RealPictureService fresh;
    const QString out = folder + QStringLiteral("/reference.bmp");
    fresh.saveBitmap(fresh.load(jpeg), out);
    const QByteArray bytes = readBytes(out);
    QFile::remove(out);
    return bytes;
}

QImage decodedBitmap(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "bmp");
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

// The JPEG as another decoder sees it.
QImage djpegOf(const QString& jpeg)
{
    QProcess djpeg;
    djpeg.start(QStringLiteral("djpeg"), {QStringLiteral("-bmp"), jpeg});
    if (!djpeg.waitForFinished(60000) || djpeg.exitCode() != 0)
        return {};
    return decodedBitmap(djpeg.readAllStandardOutput());
}

}  // namespace

class TestShownFirst : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString path(const char* name) const { return dir_->filePath(QString::fromLatin1(name)); }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }

    void theWholePictureIsWritten_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<QSize>("size");  // as shown
        QTest::addColumn<bool>("waitFirst");
        const QImage photo = photoLike(1600, 1200, 7);
        const QByteArray colour = makeJpeg(photo);
        QTest::newRow("colour, pressed at once") << colour << QSize(1600, 1200) << false;
        QTest::newRow("colour, pressed once made") << colour << QSize(1600, 1200) << true;
        QTest::newRow("rows with padding") << makeJpeg(photoLike(1601, 1201, 7)) << QSize(1601, 1201) << false;
        QTest::newRow("progressive") << makeJpeg(photo, {.progressive = true}) << QSize(1600, 1200) << false;
        QTest::newRow("gray (an 8-bit bitmap)") << makeJpeg(photo, {.gray = true}) << QSize(1600, 1200) << true;
        QTest::newRow("quarter-turned by Exif") << withExifOrientation(colour, 6) << QSize(1200, 1600) << false;
        QTest::newRow("CMYK") << makeJpeg(photo, {.cmyk = true}) << QSize(1600, 1200) << false;
        QImage at150dpi = photo;
        at150dpi.setDotsPerMeterX(5906);
        at150dpi.setDotsPerMeterY(5906);
        QBuffer qtJpeg;
        qtJpeg.open(QIODevice::WriteOnly);
        at150dpi.save(&qtJpeg, "JPG", 90);
        QTest::newRow("with a resolution, 150 dpi") << qtJpeg.data() << QSize(1600, 1200) << true;
    }
    void theWholePictureIsWritten()
    {
        QFETCH(QByteArray, jpeg);
        QFETCH(QSize, size);
        QFETCH(bool, waitFirst);
        const QString source = path("photo.jpg");
        writeBytes(source, jpeg);
        const QByteArray whole = bitmapOfWhole(source, dir_->path());
        QVERIFY(!whole.isEmpty());

        RealPictureService pictures;
        const QImage shown = pictures.loadShownFirst(source, box);
        // Reduced, yet covering the box, and upright.
        QVERIFY2(shown.width() < size.width() && shown.width() >= box.width() && shown.height() >= box.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(shown.width()).arg(shown.height())));
        QCOMPARE(shown.width() > shown.height(), size.width() > size.height());
        if (waitFirst)
            pictures.waitUntilIdle();
        const QString out = path("photo.bmp");
        pictures.saveBitmap(shown, out);
        QCOMPARE(pictures.savesFromAhead(), 1);
        const QByteArray written = readBytes(out);
        QVERIFY(written == whole);
        const QImage decoded = decodedBitmap(written);
        QCOMPARE(decoded.size(), size);
        const QImage theirs = djpegOf(source);
        if (size == QSize(1600, 1200)) {  // djpeg neither turns by Exif nor inverts Adobe CMYK alike
            QCOMPARE(theirs.size(), size);
            QVERIFY2(psnr(theirs, decoded) > 40, qPrintable(QString::number(psnr(theirs, decoded))));
        }
        QCOMPARE(entries(dir_->path()), QStringList({QStringLiteral("photo.bmp"), QStringLiteral("photo.jpg")}));
    }

    // The bitmap branch converts the picture shown, not the file as it is at the press.
    void thePressConvertsThePictureAsDropped()
    {
        const QString source = path("photo.jpg");
        writeBytes(source, makeJpeg(photoLike(1600, 1200, 1)));
        const QByteArray first = bitmapOfWhole(source, dir_->path());
        RealPictureService pictures;
        const QImage shown = pictures.loadShownFirst(source, box);
        // Rewritten in place and replaced, before the job can have read anything more.
        writeBytes(source, makeJpeg(photoLike(1600, 1200, 2)));
        const QString out = path("photo.bmp");
        pictures.saveBitmap(shown, out);
        QVERIFY(readBytes(out) == first);
        QVERIFY(bitmapOfWhole(source, dir_->path()) != first);
    }

    void aDamagedJpegIsRefusedAtTheDrop_data()
    {
        QTest::addColumn<int>("damage");
        QTest::newRow("bad Huffman code") << int(JpegDamage::BadHuffmanCode);
        QTest::newRow("cut short") << int(JpegDamage::CutShort);
        QTest::newRow("cut short, end marker put back") << int(JpegDamage::CutShortEnded);
    }
    void aDamagedJpegIsRefusedAtTheDrop()
    {
        QFETCH(int, damage);
        const QString good = path("good.jpg");
        const QString bad = path("bad.jpg");
        writeBytes(good, makeJpeg(photoLike(1600, 1200, 3)));
        writeBytes(bad, damagedJpeg(makeJpeg(photoLike(1600, 1200, 4)), JpegDamage(damage)));
        RealPictureService pictures;
        const QImage earlier = pictures.loadShownFirst(good, box);
        QCOMPARE(thrownKind([&] { pictures.loadShownFirst(bad, box); }), FailureKind::NotAPicture);
        // The earlier drop's reduced picture is no longer backed by its whole one.
        QCOMPARE(thrownKind([&] { pictures.saveBitmap(earlier, path("out.bmp")); }), FailureKind::WriteFailed);
        QCOMPARE(entries(dir_->path()), QStringList({QStringLiteral("bad.jpg"), QStringLiteral("good.jpg")}));
    }

    // Drops in quick succession and an end while a job runs: the newest drop's picture
    // is written, an older reduced one never, and nothing is left behind.
    void supersededAndEndedJobs()
    {
        const QString a = path("a.jpg");
        const QString b = path("b.jpg");
        writeBytes(a, makeJpeg(photoLike(2400, 1800, 5)));
        writeBytes(b, makeJpeg(photoLike(2000, 1500, 6)));
        const QByteArray wholeB = bitmapOfWhole(b, dir_->path());
        {
            RealPictureService pictures;
            const QImage shownA = pictures.loadShownFirst(a, box);
            const QImage shownB = pictures.loadShownFirst(b, box);
            QCOMPARE(thrownKind([&] { pictures.saveBitmap(shownA, path("a.bmp")); }), FailureKind::WriteFailed);
            pictures.saveBitmap(shownB, path("b.bmp"));
            QVERIFY(readBytes(path("b.bmp")) == wholeB);
            QVERIFY(QFile::remove(path("b.bmp")));
            pictures.loadShownFirst(a, box);  // and the service ends while its job runs
        }
        QCOMPARE(entries(dir_->path()), QStringList({QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));
    }

    // What is not reduced goes as before: the whole picture, written from itself.
    void smallJpegsAndOtherFilesAreReadWhole()
    {
        const QString small = path("small.jpg");
        writeBytes(small, makeJpeg(photoLike(400, 300, 8)));
        const QString bitmap = path("large.bmp");
        writePicture(bitmap, photoLike(1600, 1200, 9), "BMP");
        RealPictureService pictures;
        QCOMPARE(pictures.loadShownFirst(small, box).size(), QSize(400, 300));
        const QImage large = pictures.loadShownFirst(bitmap, box);
        QCOMPARE(large.size(), QSize(1600, 1200));
        pictures.saveBitmap(large, path("out.bmp"));
        QCOMPARE(pictures.savesFromAhead(), 0);
        QCOMPARE(decodedBitmap(readBytes(path("out.bmp"))),
                 photoLike(1600, 1200, 9).convertToFormat(QImage::Format_RGB32));
        QCOMPARE(thrownKind([&] { pictures.loadShownFirst(path("missing.jpg"), box); }), FailureKind::FileNotFound);
    }
};

QTEST_GUILESS_MAIN(TestShownFirst)
#include "test_shown_first.moc"
