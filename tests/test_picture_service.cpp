// Loading pictures through the real picture service: the kinds it reads, how it fails,
// how large a picture it takes and how it reads one that is only shown in a box.

#include "platform/real/qt_picture_service.h"
#include "support/files.h"
#include "support/gif_writer.h"
#include "support/image_bmp.h"
#include "window/failure.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

using namespace pelk;
using namespace pelk::test;

Q_DECLARE_METATYPE(pelk::FailureKind)

namespace {

QByteArray encoded(const QImage& picture, const char* format, int quality = 90)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, format, quality))
        qFatal("cannot encode %s", format);
    return buffer.data();
}

// A JPEG whose frame header declares another size than it holds.
QByteArray withDeclaredSize(QByteArray jpeg, int width, int height)
{
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
        if (uchar(jpeg[i]) == 0xff && uchar(jpeg[i + 1]) == 0xc0) {
            jpeg[i + 5] = char(height >> 8);
            jpeg[i + 6] = char(height & 0xff);
            jpeg[i + 7] = char(width >> 8);
            jpeg[i + 8] = char(width & 0xff);
            return jpeg;
        }
    }
    qFatal("no SOF0 marker");
}

// The JPEG with an EXIF block saying "turn a quarter clockwise to show" (orientation 6).
QByteArray withExifRotation(const QByteArray& jpeg)
{
    QByteArray exif("\xff\xe1", 2);
    const char body[] = "Exif\0\0"          // identifier
                        "II*\0\x08\0\0\0"   // little-endian TIFF, first directory at 8
                        "\x01\0"            // one entry
                        "\x12\x01\x03\0\x01\0\0\0\x06\0\0\0"  // Orientation, SHORT, 1, value 6
                        "\0\0\0\0";         // no next directory
    const int length = int(sizeof(body) - 1) + 2;
    exif.append(char(length >> 8));
    exif.append(char(length & 0xff));
    exif.append(body, sizeof(body) - 1);
    return jpeg.left(2) + exif + jpeg.mid(2);
}

}  // namespace

class TestPictureService : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QtPictureService service_;
    QString path(const QString& name) const { return dir_->filePath(name); }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }

    void loadsEachKind_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");
        const QImage picture = photoLike(48, 32);
        QTest::newRow("bitmap") << makeBmp(picture, BmpLayout::Rgb24).bytes << "a.bmp";
        QTest::newRow("8-bit RLE bitmap") << makeBmp(picture, BmpLayout::Rle8).bytes << "r.bmp";
        QTest::newRow("JPEG") << encoded(picture, "JPG") << "a.jpg";
        QTest::newRow("GIF") << makeGif(picture) << "a.gif";
        QTest::newRow("icon") << encoded(picture, "ICO") << "a.ico";
        // The content decides, not the name.
        QTest::newRow("JPEG named .bmp") << encoded(picture, "JPG") << "j.bmp";
    }

    void loadsEachKind()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        writeBytes(path(name), file);
        const QImage picture = service_.load(path(name));
        QCOMPARE(picture.size(), QSize(48, 32));
        const double quality = psnr(photoLike(48, 32), picture);
        QVERIFY2(quality > 20, qPrintable(QString::number(quality)));  // the picture, not noise
    }

    void loadFailures_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");  // empty: a folder; "-": nothing there
        QTest::addColumn<FailureKind>("kind");
        const QByteArray bmp = makeBmp(photoLike(64, 64), BmpLayout::Rgb24).bytes;
        QTest::newRow("missing") << QByteArray() << "-" << FailureKind::FileNotFound;
        QTest::newRow("folder") << QByteArray() << "" << FailureKind::FileNotFound;
        QTest::newRow("text named .jpg") << QByteArray("not a picture\n") << "t.jpg"
                                         << FailureKind::NotAPicture;
        QTest::newRow("empty file") << QByteArray() << "e.gif" << FailureKind::NotAPicture;
        QTest::newRow("bitmap cut short") << bmp.left(bmp.size() / 2) << "c.bmp"
                                          << FailureKind::NotAPicture;  // damaged
        // A scan with no frame before it: Qt's reader reports no layout for it at all.
        QTest::newRow("JPEG scan without a frame")
            << QByteArray::fromHex("ffd8ffda000c0200ffffffffffff0a63ffd9") << "s.jpg" << FailureKind::NotAPicture;
        // Declared beyond the limit: refused from the header, never decoded.
        QTest::newRow("bitmap of 132 megapixels") << bmpHeaderOnly(12000, 11000) << "h.bmp"
                                                  << FailureKind::TooLarge;
        QTest::newRow("JPEG of 135 megapixels")
            << withDeclaredSize(encoded(photoLike(64, 64), "JPG"), 15000, 9000) << "h.jpg"
            << FailureKind::TooLarge;
    }

    void loadFailures()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        QFETCH(FailureKind, kind);
        QString target = path(name);
        if (name.isEmpty()) {
            QVERIFY(QDir(dir_->path()).mkdir("folder.jpg"));
            target = path("folder.jpg");
        } else if (name != "-") {
            writeBytes(target, file);
        }
        for (bool forDisplay : {false, true}) {
            std::optional<FailureKind> caught;
            try {
                if (forDisplay)
                    service_.loadForDisplay(target, QSize(100, 100));
                else
                    service_.load(target);
            } catch (const Failure& failure) {
                caught = failure.kind();
            }
            QVERIFY2(caught.has_value(), forDisplay ? "loadForDisplay" : "load");
            QCOMPARE(int(*caught), int(kind));
        }
    }

    void hundredMegapixels()
    {
        // 400 MB as 32-bit pixels: far above Qt's default allocation limit of 128 MB.
        {
            QImage picture(10000, 10000, QImage::Format_RGB32);
            for (int y = 0; y < picture.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
                for (int x = 0; x < picture.width(); ++x)
                    line[x] = qRgb(x / 40, y / 40, 128);
            }
            writePicture(path("big.jpg"), picture, "JPG", 50);
        }
        const QImage loaded = service_.load(path("big.jpg"));
        QCOMPARE(loaded.size(), QSize(10000, 10000));
        const QColor corner = loaded.pixelColor(9990, 20);
        QVERIFY2(qAbs(corner.red() - 249) < 8 && corner.green() < 8, qPrintable(corner.name()));
    }

    void loadForDisplay_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("shown");    // the picture as shown, turned as EXIF says
        QTest::addColumn<bool>("reduced");   // read at less than full size
        const QByteArray jpeg = encoded(photoLike(1600, 1200), "JPG");
        QTest::newRow("JPEG, much larger than the box")
            << jpeg << "a.jpg" << QSize(220, 165) << QSize(1600, 1200) << true;
        QTest::newRow("JPEG, box of another shape")
            << jpeg << "a.jpg" << QSize(300, 100) << QSize(1600, 1200) << true;
        QTest::newRow("JPEG, smaller than the box")
            << encoded(photoLike(160, 120), "JPG") << "s.jpg" << QSize(220, 165)
            << QSize(160, 120) << false;
        QTest::newRow("JPEG turned a quarter by EXIF")
            << withExifRotation(encoded(photoLike(1600, 800), "JPG")) << "r.jpg"
            << QSize(200, 100) << QSize(800, 1600) << true;
        QTest::newRow("bitmap: read whole")
            << makeBmp(photoLike(800, 600), BmpLayout::Rgb24).bytes << "b.bmp" << QSize(220, 165)
            << QSize(800, 600) << false;
    }

    void loadForDisplay()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        QFETCH(QSize, box);
        QFETCH(QSize, shown);
        QFETCH(bool, reduced);
        writeBytes(path(name), file);
        QCOMPARE(service_.load(path(name)).size(), shown);

        const QImage picture = service_.loadForDisplay(path(name), box);
        const QString got = QString("%1x%2").arg(picture.width()).arg(picture.height());
        if (!reduced) {
            QCOMPARE(picture.size(), shown);
            return;
        }
        // Never below the box in either direction, smaller than the file, same shape.
        QVERIFY2(picture.width() >= box.width() && picture.height() >= box.height(),
                 qPrintable(got));
        QVERIFY2(picture.width() < shown.width(), qPrintable(got));
        QVERIFY2(qAbs(double(picture.width()) / picture.height()
                      - double(shown.width()) / shown.height()) < 0.02,
                 qPrintable(got));
    }
};

QTEST_GUILESS_MAIN(TestPictureService)
#include "test_picture_service.moc"
