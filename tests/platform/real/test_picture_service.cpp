// Loading pictures through the real picture service: the kinds it reads, how it fails,
// how large a picture it takes and how it reads one that is only shown in a box.

#include "platform/real/picture_service.h"
#include "support/corpus_files.h"
#include "support/failures.h"
#include "support/files.h"
#include "support/gif_writer.h"
#include "support/image_bmp.h"
#include "window/failure.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
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

// A 4x1 GIF of four colours, its LZW minimum code size and codes (value, bits) as given.
QByteArray tinyGif(std::initializer_list<std::pair<int, int>> codes, char minCodeSize = 2)
{
    QByteArray data;
    quint32 bits = 0;
    int held = 0;
    for (const auto& [code, size] : codes) {
        bits |= quint32(code) << held;
        for (held += size; held >= 8; held -= 8, bits >>= 8)
            data += char(bits & 0xff);
    }
    if (held > 0)
        data += char(bits & 0xff);
    return QByteArray("GIF89a\x04\x00\x01\x00\x81\x00\x00", 13) + QByteArray("\0\0\0\xff\0\0\0\xff\0\0\0\xff", 12)
        + QByteArray("\x2c\0\0\0\0\x04\x00\x01\x00\x00", 10) + minCodeSize + char(data.size()) + data
        + QByteArray("\0\x3b", 2);
}

}  // namespace

class TestPictureService : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    RealPictureService service_;
    QString path(const QString& name) const { return dir_->filePath(name); }

    // Null when refused.
    QImage loaded(const QString& file, QSize box)
    {
        QImage picture;
        failureOf([&] { picture = box.isValid() ? service_.loadForDisplay(file, box) : service_.load(file); });
        return picture;
    }

    std::optional<Failure> failureLoading(const QString& file, bool forDisplay)
    {
        return failureOf([&] {
            if (forDisplay)
                service_.loadForDisplay(file, QSize(100, 100));
            else
                service_.load(file);
        });
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }

    void cleanup() { QLoggingCategory::setFilterRules(QString()); }

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
        QTest::newRow("text named .jpg") << QByteArray("not a picture\n") << "t.jpg" << FailureKind::NotAPicture;
        QTest::newRow("empty file") << QByteArray() << "e.gif" << FailureKind::NotAPicture;
        QTest::newRow("bitmap cut short")
            << bmp.left(bmp.size() / 2) << "c.bmp" << FailureKind::NotAPicture;  // damaged
        // A scan with no frame before it: Qt's reader reports no layout for it at all.
        QTest::newRow("JPEG scan without a frame")
            << QByteArray::fromHex("ffd8ffda000c0200ffffffffffff0a63ffd9") << "s.jpg" << FailureKind::NotAPicture;
        // Declared beyond the limit: refused from the header, never decoded.
        QTest::newRow("bitmap of 132 megapixels") << bmpHeaderOnly(12000, 11000) << "h.bmp" << FailureKind::TooLarge;
        QTest::newRow("JPEG of 135 megapixels")
            << withDeclaredSize(encoded(photoLike(64, 64), "JPG"), 15000, 9000) << "h.jpg" << FailureKind::TooLarge;
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
            const std::optional<Failure> caught = failureLoading(target, forDisplay);
            QVERIFY2(caught.has_value(), forDisplay ? "loadForDisplay" : "load");
            QCOMPARE(int(caught->kind()), int(kind));
        }
    }

    // A JPEG that libjpeg warns of is refused on every road, whole and reduced for a box,
    // whatever Qt's logging is told, when libjpeg had to make pixels up; stray bytes it
    // steps over leave the picture the intact file's. The same file intact loads on each.
    void warnedJpegs_data()
    {
        QTest::addColumn<QByteArray>("intact");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("why");  // in the failure's detail; empty: shown
        const QImage picture = photoLike(320, 240, 2);
        const std::pair<const char*, QByteArray> roads[] = {
            {"baseline", makeJpeg(picture)},
            {"EXIF-turned", withExifOrientation(makeJpeg(picture), 6)},
            {"progressive", makeJpeg(picture, {85, true})},
            {"CMYK", makeJpeg(picture, {85, false, false, false, true})},
        };
        const std::tuple<const char*, JpegDamage, const char*> damages[] = {
            {"bytes in the header", JpegDamage::HeaderBytes, ""},
            {"extraneous bytes", JpegDamage::ExtraneousBytes, ""},
            {"bad Huffman code", JpegDamage::BadHuffmanCode, "bad Huffman code"},
            {"cut short", JpegDamage::CutShort, "ends inside its picture data"},
            {"cut short, end marker put back", JpegDamage::CutShortEnded, "premature end of data segment"},
        };
        for (const auto& [road, intact] : roads)
            for (const auto& [name, damage, why] : damages)
                QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(road, name)))
                    << intact << damagedJpeg(intact, damage) << QString(why);
    }

    void warnedJpegs()
    {
        QFETCH(QByteArray, intact);
        QFETCH(QByteArray, file);
        QFETCH(QString, why);
        writeBytes(path("intact.jpg"), intact);
        writeBytes(path("warned.jpg"), file);
        // The verdict is the decoder's own: no logging rule changes it.
        for (const QString rules : {"", "qt.gui.imageio.jpeg=false", "*=false"}) {
            QLoggingCategory::setFilterRules(rules);
            for (bool forDisplay : {false, true}) {
                const QString road =
                    QStringLiteral("%1, rules '%2'").arg(forDisplay ? "loadForDisplay" : "load", rules);
                QVERIFY2(!failureLoading(path("intact.jpg"), forDisplay).has_value(), qPrintable(road));
                if (why.isEmpty()) {
                    const QSize box = forDisplay ? QSize(100, 100) : QSize();
                    const QImage shown = loaded(path("warned.jpg"), box);
                    QVERIFY2(!shown.isNull(), qPrintable(road));
                    QVERIFY2(shown == loaded(path("intact.jpg"), box), qPrintable(road));
                    continue;
                }
                const std::optional<Failure> caught = failureLoading(path("warned.jpg"), forDisplay);
                QVERIFY2(caught.has_value(), qPrintable(road));
                QCOMPARE(int(caught->kind()), int(FailureKind::NotAPicture));
                QVERIFY2(caught->detail().contains(why, Qt::CaseInsensitive), qPrintable(caught->detail()));
            }
        }
    }

    // Each EXIF orientation, in either byte order, shows as Qt's reader turns it, whole and
    // reduced for a box (which a quarter turn turns with the picture).
    void exifOrientations_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<int>("strayBytes");  // before the Exif segment, which libjpeg steps over
        for (int orientation = 1; orientation <= 8; ++orientation)
            QTest::newRow(qPrintable(QStringLiteral("orientation %1").arg(orientation)))
                << orientation << (orientation % 2 == 0) << 0;
        QTest::newRow("orientation 6, stray bytes before it") << 6 << false << 3;
    }

    void exifOrientations()
    {
        QFETCH(int, orientation);
        QFETCH(bool, bigEndian);
        QFETCH(int, strayBytes);
        writeBytes(path("t.jpg"),
                   withExifOrientation(makeJpeg(photoLike(640, 400, 4)), orientation, bigEndian)
                       .insert(2, QByteArray(strayBytes, '\0')));
        QImageReader oracle(path("t.jpg"));
        oracle.setAutoTransform(true);
        const QImage expected = oracle.read();
        QVERIFY2(!expected.isNull(), qPrintable(oracle.errorString()));

        const QImage whole = service_.load(path("t.jpg"));
        QCOMPARE(whole.size(), expected.size());
        QVERIFY2(psnr(expected, whole) > 40, qPrintable(QString::number(psnr(expected, whole))));

        const QSize box(150, 60);
        const QImage reduced = service_.loadForDisplay(path("t.jpg"), box);
        const QString got = QStringLiteral("%1x%2").arg(reduced.width()).arg(reduced.height());
        QVERIFY2(reduced.width() >= box.width() && reduced.height() >= box.height(), qPrintable(got));
        QVERIFY2(reduced.width() < whole.width(), qPrintable(got));
        const double quality =
            psnr(expected.scaled(reduced.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation), reduced);
        QVERIFY2(quality > 25, qPrintable(QString::number(quality)));
    }

    // CMYK and YCCK JPEGs show in the colours they were made from, whoever wrote them.
    void cmykColours_data()
    {
        QTest::addColumn<bool>("imageMagick");
        QTest::addColumn<bool>("plainCmyk");
        QTest::newRow("ImageMagick (YCCK)") << true << false;
        QTest::newRow("libjpeg, YCCK") << false << false;
        QTest::newRow("libjpeg, plain CMYK") << false << true;
    }

    void cmykColours()
    {
        QFETCH(bool, imageMagick);
        QFETCH(bool, plainCmyk);
        // Colours every CMYK writer keeps exactly, one 16-pixel stripe each.
        const QRgb colours[] = {qRgb(255, 0, 0),   qRgb(0, 255, 0),     qRgb(0, 0, 255),     qRgb(255, 255, 0),
                                qRgb(0, 255, 255), qRgb(255, 255, 255), qRgb(128, 128, 128), qRgb(0, 0, 0)};
        QImage stripes(16 * int(std::size(colours)), 32, QImage::Format_RGB32);
        for (int x = 0; x < stripes.width(); ++x)
            for (int y = 0; y < stripes.height(); ++y)
                stripes.setPixel(x, y, colours[x / 16]);
        if (imageMagick) {
            const QString convert = QStandardPaths::findExecutable("convert");
            if (convert.isEmpty())
                QFAIL("ImageMagick's convert is not installed (scripts/packages-test.txt)");
            QVERIFY(stripes.save(path("s.bmp")));
            QCOMPARE(
                QProcess::execute(convert, {path("s.bmp"), "-colorspace", "CMYK", "-quality", "95", path("c.jpg")}), 0);
        } else {
            writeBytes(path("c.jpg"), makeJpeg(stripes, {95, false, true, false, true, 0, plainCmyk}));
        }
        const QImage loaded = service_.load(path("c.jpg"));
        QCOMPARE(loaded.size(), stripes.size());
        for (int i = 0; i < int(std::size(colours)); ++i) {
            const QRgb got = loaded.pixel(16 * i + 8, 16);
            QVERIFY2(qAbs(qRed(got) - qRed(colours[i])) <= 8 && qAbs(qGreen(got) - qGreen(colours[i])) <= 8
                         && qAbs(qBlue(got) - qBlue(colours[i])) <= 8,
                     qPrintable(QStringLiteral("stripe %1: %2").arg(i).arg(got, 8, 16)));
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
        QTest::addColumn<QSize>("shown");   // the picture as shown, turned as EXIF says
        QTest::addColumn<bool>("reduced");  // read at less than full size
        const QByteArray jpeg = encoded(photoLike(1600, 1200), "JPG");
        QTest::newRow("JPEG, much larger than the box")
            << jpeg << "a.jpg" << QSize(220, 165) << QSize(1600, 1200) << true;
        QTest::newRow("JPEG, box of another shape") << jpeg << "a.jpg" << QSize(300, 100) << QSize(1600, 1200) << true;
        QTest::newRow("JPEG, smaller than the box")
            << encoded(photoLike(160, 120), "JPG") << "s.jpg" << QSize(220, 165) << QSize(160, 120) << false;
        QTest::newRow("JPEG turned a quarter by EXIF") << withExifOrientation(encoded(photoLike(1600, 800), "JPG"), 6)
                                                       << "r.jpg" << QSize(200, 100) << QSize(800, 1600) << true;
        QTest::newRow("bitmap: read whole") << makeBmp(photoLike(800, 600), BmpLayout::Rgb24).bytes << "b.bmp"
                                            << QSize(220, 165) << QSize(800, 600) << false;
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
        QVERIFY2(picture.width() >= box.width() && picture.height() >= box.height(), qPrintable(got));
        QVERIFY2(picture.width() < shown.width(), qPrintable(got));
        QVERIFY2(qAbs(double(picture.width()) / picture.height() - double(shown.width()) / shown.height()) < 0.02,
                 qPrintable(got));
    }

    // A GIF whose first picture is all there shows as ImageMagick reads it, whatever else
    // is odd about the file; one whose picture data end early or hold a code no decoder
    // can read is refused, as ImageMagick refuses it, not shown with the rest made up.
    void gifsAsImageMagickReadsThem_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("refusal");  // in the failure's detail; empty: shown
        const QByteArray gif = makeGif(photoLike(61, 45, 12));
        const GifPicture first = firstGifPicture(gif);
        QTest::newRow("untouched") << gif << "";
        QTest::newRow("no trailer") << gif.left(gif.size() - 1) << "";
        const QByteArray extension("\x21\x99\x03"
                                   "abc\x00",
                                   7);
        QTest::newRow("an unknown extension before the picture")
            << QByteArray(gif).insert(first.descriptor, extension) << "";
        QTest::newRow("a sub-block after the picture's end code")
            << QByteArray(gif).insert(first.end, QByteArray("\x04\xde\xad\xbe\xef", 5)) << "";
        QTest::newRow("no end code after the last pixel") << tinyGif({{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 4}}) << "";
        QTest::newRow("picture data cut short") << gifCutInItsPicture(gif) << "data end before its last pixel";
        QTest::newRow("LZW code size 9") << tinyGif({{512, 10}, {0, 10}, {1, 10}, {2, 10}, {3, 10}, {513, 10}}, 9)
                                         << "";
        QTest::newRow("LZW code size 9, data end early")
            << tinyGif({{512, 10}, {1, 10}, {2, 10}, {513, 10}}, 9) << "data end before its last pixel";
        QTest::newRow("LZW code size 12") << tinyGif({{4096, 13}, {0, 13}}, 12) << "code size is out of range";
        // After the clear code and one pixel the next new code is 6; 7 is nothing yet.
        QTest::newRow("a code outside the table")
            << tinyGif({{4, 3}, {0, 3}, {7, 3}, {5, 3}}) << "a code outside the table";
    }

    void gifsAsImageMagickReadsThem()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, refusal);
        const QString gif = path(QStringLiteral("odd.gif"));
        writeBytes(gif, file);
        QProcess convert;
        convert.start(QStringLiteral("convert"), {gif + QStringLiteral("[0]"), QStringLiteral("ppm:-")});
        QVERIFY(convert.waitForFinished(60000));
        const QImage magick = QImage::fromData(convert.readAllStandardOutput(), "PPM");
        if (!refusal.isEmpty()) {
            QVERIFY2(convert.exitCode() != 0, "ImageMagick reads it");
            for (bool forDisplay : {false, true}) {
                const std::optional<Failure> caught = failureLoading(gif, forDisplay);
                QVERIFY2(caught.has_value(), forDisplay ? "loadForDisplay" : "load");
                QCOMPARE(int(caught->kind()), int(FailureKind::NotAPicture));
                QVERIFY2(caught->detail().contains(refusal), qPrintable(caught->detail()));
            }
            return;
        }
        QCOMPARE(convert.exitCode(), 0);
        QVERIFY(!magick.isNull());
        const QImage shown = loaded(gif, {});
        QVERIFY(!shown.isNull());
        QVERIFY(shown.convertToFormat(QImage::Format_RGB32) == magick.convertToFormat(QImage::Format_RGB32));
    }
};

QTEST_GUILESS_MAIN(TestPictureService)
#include "test_picture_service.moc"
