// The libjpeg-turbo encoder on real bitmaps: what it writes is read back by Qt's JPEG
// decoder and by parsing the file's own markers.

#include "platform/real/jpeg/libjpeg_encoder.h"
#include "platform/real/real_platform.h"
#include "support/files.h"
#include "support/image_bmp.h"
#include "support/jpeg_markers.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace pelk;
using namespace pelk::test;

namespace {

// libjpeg's standard tables (the JPEG standard's Annex K), natural order.
constexpr std::array<int, 64> standardLuma = {
    16, 11,  10,  16, 24, 40, 51, 61, 12,  12,  14,  19,  26, 58, 60, 55,  14,  13,  16,  24, 40, 57,
    69, 56,  14,  17, 22, 29, 51, 87, 80,  62,  18,  22,  37, 56, 68, 109, 103, 77,  24,  35, 55, 64,
    81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98,  112, 100, 103, 99,
};
constexpr std::array<int, 64> standardChroma = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
};

std::array<int, 64> scaled(const std::array<int, 64>& table, int quality)
{
    const int q = qBound(1, quality, 100);
    const int scale = q < 50 ? 5000 / q : 200 - 2 * q;
    std::array<int, 64> out{};
    for (int i = 0; i < 64; ++i)
        out[i] = qBound(1, (table[i] * scale + 50) / 100, 255);
    return out;
}

QString describe(const std::array<int, 64>& t)
{
    QStringList parts;
    for (int v : t)
        parts << QString::number(v);
    return parts.join(' ');
}

QImage decode(const QString& path)
{
    QImageReader reader(path, "jpeg");
    reader.setDecideFormatFromContent(false);
    return reader.read();
}

}  // namespace

class TestJpegEncoder : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString path(const QString& name) const { return dir_->filePath(name); }

    std::int16_t encode(const QString& source, const QString& destination, int quality, bool progressive = false)
    {
        LibjpegEncoder encoder;
        QByteArray destinationBytes = QFile::encodeName(destination);
        return encoder.SavetoJPEG(QFile::encodeName(source), destinationBytes, std::uint8_t(quality), progressive);
    }

    // A photo-like 24-bit bitmap written by Qt's own BMP writer.
    QString photoBitmap(const QString& name, int width, int height)
    {
        const QString file = path(name);
        writePicture(file, photoLike(width, height), "BMP");
        return file;
    }

private slots:
    // The program's own category is heard here: a refusal must be logged in it, at debug
    // level, and never as a warning.
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("pelk17.problems.debug=true")); }

    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    }

    // The press encodes the pixels of the picture the window holds only while its file is
    // the version they were read from; a file changed since (however soon) is read again.
    void heldPictureOnlyWhileTheFileIsUnchanged_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QRgb>("expected");
        QTest::newRow("unchanged") << "none" << qRgb(200, 30, 30);
        QTest::newRow("rewritten, same size, settled") << "settled" << qRgb(30, 30, 200);
        QTest::newRow("rewritten, same size, at once") << "at once" << qRgb(30, 30, 200);
    }
    void heldPictureOnlyWhileTheFileIsUnchanged()
    {
        QFETCH(QString, change);
        QFETCH(QRgb, expected);
        const QString source = path("held.bmp");
        QImage picture(96, 64, QImage::Format_RGB32);
        picture.fill(qRgb(200, 30, 30));
        writePicture(source, picture, "BMP");
        QTest::qWait(150);  // a file left alone a while is told apart from its next version
        RealServices services;
        QCOMPARE(services.pictures.load(source).pixel(5, 5), qRgb(200, 30, 30));
        if (change != QLatin1String("none")) {
            picture.fill(qRgb(30, 30, 200));
            writePicture(source, picture, "BMP");
            if (change == QLatin1String("settled"))
                QTest::qWait(150);
        }
        QByteArray destination = QFile::encodeName(path("held.jpg"));
        QCOMPARE(services.encoder.SavetoJPEG(QFile::encodeName(source), destination, 90, false), std::int16_t(0));
        const QRgb got = decode(path("held.jpg")).pixel(48, 32);
        QVERIFY2(qAbs(qRed(got) - qRed(expected)) < 8 && qAbs(qBlue(got) - qBlue(expected)) < 8,
                 qPrintable(QStringLiteral("#%1").arg(got, 8, 16)));
    }

    void quantisationTables_data()
    {
        QTest::addColumn<int>("quality");
        QTest::newRow("75") << 75;
        QTest::newRow("50") << 50;
        QTest::newRow("99") << 99;
        QTest::newRow("100") << 100;
        QTest::newRow("20") << 20;
        QTest::newRow("1") << 1;
        QTest::newRow("0 is the lowest, as 1") << 0;
    }

    void quantisationTables()
    {
        QFETCH(int, quality);
        const QString source = photoBitmap("q.bmp", 64, 48);
        QCOMPARE(encode(source, path("q.jpg"), quality), 0);

        const JpegStructure jpeg = parseJpeg(readBytes(path("q.jpg")));
        QVERIFY(jpeg.valid);
        QCOMPARE(jpeg.quantTables.size(), std::size_t(2));
        QCOMPARE(jpeg.components.size(), 3);
        const JpegQuantTable& luma = jpeg.quantTables.at(jpeg.components[0].table);
        const JpegQuantTable& chroma = jpeg.quantTables.at(jpeg.components[1].table);
        QCOMPARE(jpeg.components[2].table, jpeg.components[1].table);
        QCOMPARE(luma.precision, 0);  // 8-bit entries: a baseline file even at the lowest quality
        QCOMPARE(chroma.precision, 0);
        QCOMPARE(describe(luma.natural), describe(scaled(standardLuma, quality)));
        QCOMPARE(describe(chroma.natural), describe(scaled(standardChroma, quality)));
        QVERIFY(!decode(path("q.jpg")).isNull());
    }

    void frameLayout_data()
    {
        QTest::addColumn<bool>("progressive");
        QTest::addColumn<QSize>("size");
        QTest::newRow("baseline") << false << QSize(320, 240);
        QTest::newRow("progressive") << true << QSize(320, 240);
        // Partial blocks at the right and bottom edges, odd chroma sizes.
        QTest::newRow("baseline, odd size") << false << QSize(101, 67);
        QTest::newRow("progressive, odd size") << true << QSize(101, 67);
        QTest::newRow("one pixel") << false << QSize(1, 1);
    }

    void frameLayout()
    {
        QFETCH(bool, progressive);
        QFETCH(QSize, size);
        const QString source = photoBitmap("f.bmp", size.width(), size.height());
        QCOMPARE(encode(source, path("f.jpg"), 75, progressive), 0);

        const JpegStructure jpeg = parseJpeg(readBytes(path("f.jpg")));
        QVERIFY(jpeg.valid);
        QCOMPARE(jpeg.frameMarkers, QList<int>{progressive ? 0xc2 : 0xc0});
        QCOMPARE(QSize(jpeg.width, jpeg.height), size);
        if (progressive)
            QVERIFY2(jpeg.scans > 1, qPrintable(QString::number(jpeg.scans)));
        else
            QCOMPARE(jpeg.scans, 1);
        // 4:2:0: luma sampled 2x2, each chroma component once per 2x2 block.
        QCOMPARE(jpeg.components.size(), 3);
        QCOMPARE(jpeg.components[0].horizontal, 2);
        QCOMPARE(jpeg.components[0].vertical, 2);
        for (int c = 1; c < 3; ++c) {
            QCOMPARE(jpeg.components[c].horizontal, 1);
            QCOMPARE(jpeg.components[c].vertical, 1);
        }

        const QImage decoded = decode(path("f.jpg"));
        QCOMPARE(decoded.size(), size);
        if (size.width() > 8) {
            const double quality = psnr(photoLike(size.width(), size.height()), decoded);
            QVERIFY2(quality > 30, qPrintable(QString::number(quality)));
        }
    }

    void lowerQualityGivesSmallerFile()
    {
        const QString source = photoBitmap("s.bmp", 320, 240);
        qint64 previous = std::numeric_limits<qint64>::max();
        for (int quality : {100, 90, 75, 50, 20, 5, 0}) {
            const QString out = path(QString("s%1.jpg").arg(quality));
            QCOMPARE(encode(source, out, quality), 0);
            const qint64 length = QFileInfo(out).size();
            QVERIFY2(length < previous,
                     qPrintable(QString("quality %1: %2 bytes, not below %3").arg(quality).arg(length).arg(previous)));
            QVERIFY(!decode(out).isNull());
            previous = length;
        }
    }

    // libjpeg-turbo's own command-line encoder with optimised tables is the yardstick: the
    // same quality must not cost more bytes here.
    void notLargerThanCjpeg_data()
    {
        QTest::addColumn<bool>("progressive");
        QTest::newRow("baseline") << false;
        QTest::newRow("progressive") << true;
    }

    void notLargerThanCjpeg()
    {
        QFETCH(bool, progressive);
        const QString cjpeg = QStandardPaths::findExecutable("cjpeg");
        if (cjpeg.isEmpty())
            QSKIP("cjpeg (libjpeg-turbo-progs) is not installed");
        const QString source = photoBitmap("c.bmp", 640, 480);
        QCOMPARE(encode(source, path("ours.jpg"), 75, progressive), 0);
        QStringList arguments{"-quality", "75", "-optimize", "-outfile", path("cjpeg.jpg")};
        if (progressive)
            arguments.insert(0, "-progressive");
        QCOMPARE(QProcess::execute(cjpeg, arguments << source), 0);
        const qint64 ours = QFileInfo(path("ours.jpg")).size();
        const qint64 theirs = QFileInfo(path("cjpeg.jpg")).size();
        QVERIFY(theirs > 0);
        QVERIFY2(ours <= theirs, qPrintable(QString("%1 > %2 bytes").arg(ours).arg(theirs)));
    }

    void bitmapLayouts_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<bool>("topDown");
        QTest::addColumn<int>("header");
        QTest::addColumn<double>("minimumPsnr");
        QTest::addColumn<int>("components");
        QTest::addColumn<bool>("blocks");  // flat squares rather than photo-like content
        using L = BmpLayout;
        QTest::newRow("1-bit palette") << int(L::Palette1) << false << 0 << 26.0 << 3 << true;
        QTest::newRow("4-bit palette") << int(L::Palette4) << false << 0 << 28.0 << 3 << true;
        QTest::newRow("8-bit palette") << int(L::Palette8) << false << 0 << 31.0 << 3 << true;
        QTest::newRow("8-bit gray palette") << int(L::Gray8) << false << 0 << 40.0 << 1 << true;
        QTest::newRow("4-bit RLE") << int(L::Rle4) << false << 0 << 28.0 << 3 << true;
        QTest::newRow("8-bit RLE") << int(L::Rle8) << false << 0 << 31.0 << 3 << true;
        QTest::newRow("16-bit 5-5-5") << int(L::Rgb555) << false << 0 << 29.0 << 3 << true;
        QTest::newRow("16-bit 5-6-5 bit-fields") << int(L::Rgb565) << false << 0 << 29.0 << 3 << true;
        QTest::newRow("24-bit") << int(L::Rgb24) << false << 0 << 27.0 << 3 << false;
        QTest::newRow("24-bit V5 header") << int(L::Rgb24) << false << 124 << 27.0 << 3 << false;
        QTest::newRow("32-bit, fourth byte zero") << int(L::Rgb32) << false << 0 << 27.0 << 3 << false;
        QTest::newRow("32-bit bit-fields V4") << int(L::Bitfields32) << false << 0 << 27.0 << 3 << false;
        QTest::newRow("32-bit with alpha, over white") << int(L::Alpha32) << false << 0 << 30.0 << 3 << false;
        QTest::newRow("32-bit, alpha mask but all zero") << int(L::ZeroAlpha32) << false << 0 << 27.0 << 3 << false;
        QTest::newRow("top-down 24-bit") << int(L::Rgb24) << true << 0 << 27.0 << 3 << false;
        QTest::newRow("top-down 8-bit palette") << int(L::Palette8) << true << 0 << 31.0 << 3 << true;
        QTest::newRow("top-down 32-bit") << int(L::Rgb32) << true << 0 << 27.0 << 3 << false;
        QTest::newRow("top-down 16-bit") << int(L::Rgb565) << true << 0 << 29.0 << 3 << true;
    }

    void bitmapLayouts()
    {
        QFETCH(int, layout);
        QFETCH(bool, topDown);
        QFETCH(int, header);
        QFETCH(double, minimumPsnr);
        QFETCH(int, components);
        QFETCH(bool, blocks);
        // An odd width: rows carry padding in every layout. Palette and 16-bit content is
        // flat squares: reduced photo content would be all edges, which no JPEG keeps.
        const QImage content = blocks ? colourBlocks(97, 61, 32, 7) : photoLike(97, 61, 7);
        const BmpFile bmp = makeBmp(content, BmpLayout(layout), {topDown, header});
        writeBytes(path("in.bmp"), bmp.bytes);
        QCOMPARE(encode(path("in.bmp"), path("out.jpg"), 90), 0);

        const JpegStructure jpeg = parseJpeg(readBytes(path("out.jpg")));
        QVERIFY(jpeg.valid);
        QCOMPARE(jpeg.components.size(), components);
        const QImage decoded = decode(path("out.jpg"));
        QCOMPARE(decoded.size(), QSize(97, 61));
        // Upside down, mirrored, a wrong channel order or black instead of white for
        // transparency all fall far below these bounds.
        const double quality = psnr(bmp.expected, decoded);
        QVERIFY2(quality > minimumPsnr, qPrintable(QString::number(quality)));
    }

    // Sources the encoder cannot read. Which destinations are refused, and what a failed
    // write leaves, is the road's table (test_replacing_file).
    void refusedSource_data()
    {
        QTest::addColumn<QByteArray>("content");  // empty with exists false: no file
        QTest::addColumn<bool>("exists");
        // A PNG or JPEG named .bmp is not refused: it is read by its content, as the
        // preview reads it (the hostile corpus test converts both).
        const QByteArray bmp = makeBmp(photoLike(64, 64), BmpLayout::Rgb24).bytes;
        QTest::newRow("text") << QByteArray("just some text, not a picture\n") << true;
        QTest::newRow("empty file") << QByteArray() << true;
        QTest::newRow("header only") << bmp.left(54) << true;
        QTest::newRow("pixel data cut short") << bmp.left(bmp.size() / 2) << true;
        QTest::newRow("missing file") << QByteArray() << false;
    }

    void refusedSource()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, exists);
        if (exists)
            writeBytes(path("in.bmp"), content);
        const QByteArray older = "older output, to be kept as it is";
        writeBytes(path("out.jpg"), older);
        const QStringList before = entries(dir_->path());

        // The source named, and a reason after it.
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^SavetoJPEG: .*/in\\.bmp: .+")));
        QVERIFY(encode(path("in.bmp"), path("out.jpg"), 75) != 0);
        QCOMPARE(readBytes(path("out.jpg")), older);
        QCOMPARE(entries(dir_->path()), before);  // no temporary file left behind
    }

    void japaneseNames()
    {
        QVERIFY(QDir(dir_->path()).mkdir("写真フォルダ"));
        const QString source = path("写真フォルダ/猫の写真　１.bmp");
        const QString destination = path("写真フォルダ/猫の写真　１（変換）.jpg");
        writePicture(source, photoLike(80, 60), "BMP");
        QCOMPARE(encode(source, destination, 75, true), 0);
        QCOMPARE(decode(destination).size(), QSize(80, 60));
        QCOMPARE(entries(path("写真フォルダ")), (QStringList{"猫の写真　１.bmp", "猫の写真　１（変換）.jpg"}));
    }

    void largePictures()
    {
        // Declared beyond the limit: refused from the header, before any decoding.
        writeBytes(path("huge.bmp"), bmpHeaderOnly(12000, 11000));
        QVERIFY(encode(path("huge.bmp"), path("huge.jpg"), 75) != 0);
        QVERIFY(!QFileInfo::exists(path("huge.jpg")));

        // 36 megapixels: above Qt's default allocation limit as 32-bit pixels.
        const int width = 6000, height = 6000;
        QByteArray header = bmpHeaderOnly(width, height);
        const int stride = width * 3;
        QByteArray data(qsizetype(stride) * height, '\0');
        for (int y = 0; y < height; ++y) {  // bottom-up: blue grows upwards, red rightwards
            uchar* row = reinterpret_cast<uchar*>(data.data()) + qsizetype(y) * stride;
            for (int x = 0; x < width; ++x) {
                row[3 * x] = uchar(y * 255 / (height - 1));
                row[3 * x + 1] = 100;
                row[3 * x + 2] = uchar(x * 255 / (width - 1));
            }
        }
        writeBytes(path("big.bmp"), header + data);
        data.clear();
        QCOMPARE(encode(path("big.bmp"), path("big.jpg"), 75), 0);
        const JpegStructure jpeg = parseJpeg(readBytes(path("big.jpg")));
        QVERIFY(jpeg.valid);
        QCOMPARE(QSize(jpeg.width, jpeg.height), QSize(width, height));
        QImageReader reader(path("big.jpg"));
        reader.setScaledSize(QSize(600, 600));
        const QImage small = reader.read();
        QCOMPARE(small.size(), QSize(600, 600));
        const QColor topLeft = small.pixelColor(5, 5);          // red 0, blue 255
        const QColor bottomRight = small.pixelColor(594, 594);  // red 255, blue 0
        QVERIFY2(topLeft.red() < 20 && topLeft.blue() > 235 && qAbs(topLeft.green() - 100) < 12,
                 qPrintable(topLeft.name()));
        QVERIFY2(bottomRight.red() > 235 && bottomRight.blue() < 20, qPrintable(bottomRight.name()));
    }
};

QTEST_GUILESS_MAIN(TestJpegEncoder)
#include "test_jpeg_encoder.moc"
