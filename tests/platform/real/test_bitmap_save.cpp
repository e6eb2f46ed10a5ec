// JPEG and GIF pictures saved as bitmaps through the real picture service, read back
// both by a reader of our own and by Qt's.

#include "platform/real/picture_service.h"
#include "support/failures.h"
#include "support/files.h"
#include "support/gif_writer.h"
#include "support/image_bmp.h"
#include "window/failure.h"

#include <QBuffer>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace pelk;
using namespace pelk::test;

namespace {

QByteArray encoded(const QImage& picture, const char* format)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, format, 90))
        qFatal("cannot encode %s", format);
    return buffer.data();
}

// The first pixel where two pictures differ, for a readable failure.
QString firstDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    if (x.size() != y.size())
        return QString("size %1x%2 against %3x%4").arg(x.width()).arg(x.height()).arg(y.width()).arg(y.height());
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col)
            if (x.pixel(col, row) != y.pixel(col, row))
                return QString("(%1,%2): %3 against %4")
                    .arg(col)
                    .arg(row)
                    .arg(x.pixel(col, row), 8, 16, QChar('0'))
                    .arg(y.pixel(col, row), 8, 16, QChar('0'));
    return {};
}

}  // namespace

class TestBitmapSave : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    RealPictureService service_;
    QString path(const QString& name) const { return dir_->filePath(name); }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }

    void samePixels_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");
        QTest::newRow("JPEG photo") << encoded(photoLike(123, 77), "JPG") << "in.jpg";
        QTest::newRow("grayscale JPEG") << encoded(photoLike(64, 40).convertToFormat(QImage::Format_Grayscale8), "JPG")
                                        << "gray.jpg";
        QTest::newRow("GIF") << makeGif(colourBlocks(61, 43, 5, 3)) << "in.gif";
        QTest::newRow("GIF, one pixel") << makeGif(colourBlocks(1, 1, 1, 9)) << "dot.gif";
    }

    void samePixels()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        writeBytes(path(name), file);
        const QImage picture = service_.load(path(name));
        QVERIFY(!picture.isNull());
        QVERIFY(!picture.hasAlphaChannel() || picture.format() == QImage::Format_ARGB32);

        service_.saveBitmap(picture, path("out.bmp"));
        const QByteArray bytes = readBytes(path("out.bmp"));
        const BmpHeader header = parseBmpHeader(bytes);
        QVERIFY(header.valid);
        QCOMPARE(qsizetype(header.fileSize), bytes.size());
        QCOMPARE(header.infoSize, 40u);  // the header every reader knows
        QCOMPARE(header.planes, 1);
        QCOMPARE(header.compression, 0u);
        // True colour as 24 bits; a picture already held as a palette may keep it.
        const bool palette =
            picture.format() == QImage::Format_Indexed8 || picture.format() == QImage::Format_Grayscale8;
        QCOMPARE(header.bitCount, palette ? 8 : 24);

        const QString ours = firstDifference(decodePlainBmp(bytes), picture);
        QVERIFY2(ours.isEmpty(), qPrintable(ours));
        QImageReader reader(path("out.bmp"), "bmp");
        const QString qts = firstDifference(reader.read(), picture);
        QVERIFY2(qts.isEmpty(), qPrintable(qts));
        QCOMPARE(entries(dir_->path()), (QStringList{name, "out.bmp"}));
    }

    void transparencyBecomesWhite_data()
    {
        QTest::addColumn<bool>("fromGif");
        QTest::newRow("transparent GIF") << true;
        QTest::newRow("picture with partial alpha") << false;
    }

    void transparencyBecomesWhite()
    {
        QFETCH(bool, fromGif);
        QImage picture;
        QImage expected;
        if (fromGif) {
            // Palette index 0 is black and marks transparency: the left half of the picture.
            QImage indexed(40, 30, QImage::Format_Indexed8);
            indexed.setColorTable({qRgb(0, 0, 0), qRgb(200, 30, 40), qRgb(10, 160, 90)});
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x)
                    indexed.setPixel(x, y, x < 20 ? 0 : 1 + (x + y) % 2);
            GifFrame frame{indexed};
            frame.transparentIndex = 0;
            writeBytes(path("t.gif"), makeGif(std::vector<GifFrame>{frame}));
            picture = service_.load(path("t.gif"));
            QVERIFY(picture.hasAlphaChannel());
            expected = QImage(40, 30, QImage::Format_RGB32);
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x)
                    expected.setPixel(x, y, x < 20 ? qRgb(255, 255, 255) : indexed.color(1 + (x + y) % 2));
        } else {
            picture = QImage(3, 1, QImage::Format_ARGB32);
            picture.setPixel(0, 0, qRgba(0, 0, 0, 0));
            picture.setPixel(1, 0, qRgba(0, 0, 0, 128));  // half black over white
            picture.setPixel(2, 0, qRgba(10, 20, 30, 255));
            expected = QImage(3, 1, QImage::Format_RGB32);
            expected.setPixel(0, 0, qRgb(255, 255, 255));
            expected.setPixel(1, 0, qRgb(127, 127, 127));
            expected.setPixel(2, 0, qRgb(10, 20, 30));
        }

        service_.saveBitmap(picture, path("t.bmp"));
        const QByteArray bytes = readBytes(path("t.bmp"));
        QCOMPARE(parseBmpHeader(bytes).bitCount, 24);
        const QImage saved = decodePlainBmp(bytes);
        QCOMPARE(saved.size(), expected.size());
        for (int y = 0; y < saved.height(); ++y)
            for (int x = 0; x < saved.width(); ++x) {
                const QRgb got = saved.pixel(x, y);
                const QRgb want = expected.pixel(x, y);
                // Half coverage may round either way.
                QVERIFY2(
                    qAbs(qRed(got) - qRed(want)) <= 1 && qAbs(qGreen(got) - qGreen(want)) <= 1
                        && qAbs(qBlue(got) - qBlue(want)) <= 1,
                    qPrintable(QString("(%1,%2): %3 instead of %4").arg(x).arg(y).arg(got, 8, 16).arg(want, 8, 16)));
            }
    }

    void japaneseName()
    {
        const QString name = path("猫の写真　１（変換）.bmp");
        const QImage picture = photoLike(16, 9).convertToFormat(QImage::Format_RGB32);
        service_.saveBitmap(picture, name);
        QVERIFY(firstDifference(decodePlainBmp(readBytes(name)), picture).isEmpty());
    }

    // The bytes that pad an 8-bit bitmap's rows to whole words are zeros, whatever lies
    // past the end of the picture's rows in memory: never the memory's earlier content.
    void rowPaddingIsZero_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("width");
        QTest::newRow("palette, 1 wide") << int(QImage::Format_Indexed8) << 1;
        QTest::newRow("palette, 5 wide") << int(QImage::Format_Indexed8) << 5;
        QTest::newRow("palette, 127 wide") << int(QImage::Format_Indexed8) << 127;
        QTest::newRow("gray, 127 wide") << int(QImage::Format_Grayscale8) << 127;
    }

    void rowPaddingIsZero()
    {
        QFETCH(int, format);
        QFETCH(int, width);
        const int height = 3;
        QImage picture(width, height, QImage::Format(format));
        if (picture.format() == QImage::Format_Indexed8) {
            QList<QRgb> grays;
            for (int i = 0; i < 256; ++i)
                grays << qRgb(i, i, i);
            picture.setColorTable(grays);
        }
        for (int y = 0; y < height; ++y) {
            uchar* row = picture.scanLine(y);
            for (int x = 0; x < picture.bytesPerLine(); ++x)
                row[x] = x < width ? uchar(40 + x + y) : uchar(0xab);  // past the row: stale memory
        }
        service_.saveBitmap(picture, path("padded.bmp"));

        const QByteArray file = readBytes(path("padded.bmp"));
        const BmpHeader header = parseBmpHeader(file);
        QVERIFY(header.valid);
        QCOMPARE(header.bitCount, quint16(8));
        QCOMPARE(header.height, height);
        const int stride = (width + 3) / 4 * 4;
        QCOMPARE(qint64(file.size()), qint64(header.dataOffset) + qint64(stride) * height);
        for (int y = 0; y < height; ++y) {
            const QByteArray row = file.mid(header.dataOffset + qint64(y) * stride, stride);
            QCOMPARE(row.mid(width), QByteArray(stride - width, '\0'));
        }
        QCOMPARE(decodePlainBmp(file).pixel(width - 1, 0), qRgb(40 + width - 1, 40 + width - 1, 40 + width - 1));
    }

    // Pins the Qt behaviour the writer clears row padding for: Qt's writer copies an 8-bit
    // picture's rows whole. When this fails, Qt writes zeros itself and the clearing can go.
    void qtWriterCopiesRowPadding()
    {
        QImage picture(5, 2, QImage::Format_Indexed8);
        picture.setColorTable(QList<QRgb>(256, qRgb(0, 0, 0)));  // 256 colours: written as 8-bit
        for (int y = 0; y < picture.height(); ++y) {
            std::fill_n(picture.scanLine(y), picture.bytesPerLine(), uchar(0xab));
            std::fill_n(picture.scanLine(y), picture.width(), uchar(1));
        }
        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "BMP"));
        const BmpHeader header = parseBmpHeader(buffer.data());
        QVERIFY(header.valid);
        QCOMPARE(buffer.data().mid(header.dataOffset + 5, 3), QByteArray(3, char(0xab)));
    }

    // A null picture is refused before any file is opened. Which targets are refused, and
    // what a failed write leaves, is the road's table (test_replacing_file).
    void noPictureKeepsOlderFile()
    {
        writeBytes(path("out.bmp"), "older");
        QCOMPARE(thrownKind([&] { service_.saveBitmap(QImage(), path("out.bmp")); }), FailureKind::WriteFailed);
        QCOMPARE(readBytes(path("out.bmp")), QByteArray("older"));
        QCOMPARE(entries(dir_->path()), QStringList{"out.bmp"});
    }
};

QTEST_GUILESS_MAIN(TestBitmapSave)
#include "test_bitmap_save.moc"
