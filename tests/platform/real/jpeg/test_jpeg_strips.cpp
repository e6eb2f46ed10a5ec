// The encode that computes its blocks on several threads writes exactly the bytes libjpeg
// writes when it encodes the whole picture itself, scanline by scanline, with the same
// settings; and the bytes cjpeg writes of the same bitmap.

#include "platform/real/jpeg/encoder_source.h"
#include "platform/real/jpeg/jpeg_compress.h"
#include "platform/real/jpeg/jpeg_decoder.h"
#include "platform/real/jpeg/jpeg_strips.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>

using namespace pelk;

namespace {

// Something like a photo: smooth ramps, edges and noise, so that every coefficient and
// every Huffman code has work to do; the same for the same size. Written pixel by pixel in
// the layout asked for (a conversion would run on Qt's own threads).
QImage photo(int width, int height, QImage::Format format)
{
    QImage picture(width, height, format);
    quint32 seed = quint32(width * 7919 + height);
    for (int y = 0; y < height; ++y) {
        uchar* row = picture.scanLine(y);
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 27);
            const int edge = ((x / 13 + y / 11) % 2) * 60;
            const int r = (x * 255 / qMax(1, width - 1) + noise) & 255;
            const int g = (y * 3 + edge + noise) & 255;
            const int b = ((x ^ y) + noise * 3) & 255;
            if (format == QImage::Format_Grayscale8) {
                row[x] = uchar(qGray(r, g, b));
            } else if (format == QImage::Format_RGB888) {
                row[3 * x] = uchar(r);
                row[3 * x + 1] = uchar(g);
                row[3 * x + 2] = uchar(b);
            } else {
                reinterpret_cast<QRgb*>(row)[x] = qRgb(r, g, b);
            }
        }
    }
    return picture;
}

EncoderPixels pixelsOf(const QImage& picture)
{
    J_COLOR_SPACE space = rgb32Space;
    int components = 4;
    if (picture.format() == QImage::Format_Grayscale8) {
        space = JCS_GRAYSCALE;
        components = 1;
    } else if (picture.format() == QImage::Format_RGB888) {
        space = JCS_EXT_RGB;
        components = 3;
    }
    return {picture.constBits(), picture.bytesPerLine(), picture.width(), picture.height(), components, space};
}

// libjpeg's own road: the whole picture handed over a scanline at a time.
QByteArray libjpegWhole(const QImage& picture, int quality, bool progressive)
{
    const EncoderPixels pixels = pixelsOf(picture);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &data, &size);
    cinfo.image_width = JDIMENSION(pixels.width);
    cinfo.image_height = JDIMENSION(pixels.height);
    cinfo.input_components = pixels.components;
    cinfo.in_color_space = pixels.space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = TRUE;
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.bits + cinfo.next_scanline * pixels.stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    jpeg_destroy_compress(&cinfo);
    std::free(data);
    return bytes;
}

QByteArray ours(const QImage& picture, int quality, bool progressive, int threads)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (encodeInto(buffer, pixelsOf(picture), std::uint8_t(quality), progressive, threads))
        return {};
    return bytes;
}

}  // namespace

class TestJpegStrips : public QObject {
    Q_OBJECT

private slots:
    // Sizes that are and are not whole MCUs (16 for colour, 8 for gray), fewer MCU rows
    // than threads, a single pixel; gray and two colour layouts; baseline and progressive.
    void sameBytesAsLibjpegWhole_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("quality");
        const struct {
            int w, h;
        } sizes[] = {{1, 1}, {7, 9}, {16, 16}, {17, 33}, {64, 48}, {100, 37}, {33, 200}, {641, 479}};
        const struct {
            const char* name;
            QImage::Format format;
        } formats[] = {
            {"rgb32", QImage::Format_RGB32}, {"rgb888", QImage::Format_RGB888}, {"gray", QImage::Format_Grayscale8}};
        for (const auto& size : sizes)
            for (const auto& format : formats)
                QTest::addRow("%dx%d %s", size.w, size.h, format.name)
                    << size.w << size.h << int(format.format) << (size.w % 2 ? 75 : 92);
        QTest::addRow("low quality") << 100 << 37 << int(QImage::Format_RGB32) << 3;
        QTest::addRow("highest quality") << 100 << 37 << int(QImage::Format_RGB32) << 99;
    }
    void sameBytesAsLibjpegWhole()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, format);
        QFETCH(int, quality);
        const QImage picture = photo(width, height, QImage::Format(format));
        for (bool progressive : {false, true}) {
            const QByteArray expected = libjpegWhole(picture, quality, progressive);
            QVERIFY(expected.size() > 100);
            for (int threads : {1, 2, 3, 8}) {
                const QByteArray got = ours(picture, quality, progressive, threads);
                QVERIFY2(got == expected,
                         qPrintable(QStringLiteral("progressive %1, %2 threads: %3 bytes, not %4")
                                        .arg(progressive)
                                        .arg(threads)
                                        .arg(got.size())
                                        .arg(expected.size())));
            }
        }
    }

    // cjpeg reads the same pixels from a bitmap: past its density in the JFIF header,
    // taken from the bitmap's, the bytes are the same.
    void sameBytesAsCjpeg()
    {
        const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
        if (cjpeg.isEmpty())
            QFAIL("cjpeg (libjpeg-turbo-progs) is not installed");
        QTemporaryDir dir;
        const QImage picture = photo(333, 250, QImage::Format_RGB888);
        const QString bmp = dir.filePath(QStringLiteral("photo.bmp"));
        QVERIFY(picture.save(bmp, "BMP"));
        for (bool progressive : {false, true}) {
            const QString out = dir.filePath(QStringLiteral("cjpeg.jpg"));
            const QStringList arguments{QStringLiteral("-quality"),
                                        QStringLiteral("75"),
                                        progressive ? QStringLiteral("-progressive") : QStringLiteral("-optimize"),
                                        QStringLiteral("-outfile"),
                                        out,
                                        bmp};
            QCOMPARE(QProcess::execute(cjpeg, arguments), 0);
            QFile file(out);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray theirs = file.readAll();
            const QByteArray mine = ours(picture, 75, progressive, 3);
            const int header = 2 + 18;  // SOI, then the JFIF segment
            QCOMPARE(mine.left(6), theirs.left(6));
            QVERIFY(mine.size() > header);
            QCOMPARE(mine.mid(header), theirs.mid(header));
        }
    }

    // The preview made from the blocks while they are coded is the picture the program's
    // decoder makes of the written bytes for the same box: at every reduction, for sizes
    // that are and are not whole MCUs, gray and colour, baseline and progressive.
    void previewFromTheBlocks_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("format");
        QTest::addColumn<QSize>("box");
        const QSize boxes[] = {{40, 30}, {90, 70}, {180, 140}, {400, 300}};
        for (const QSize& box : boxes) {
            QTest::addRow("641x479 colour, box %dx%d", box.width(), box.height())
                << 641 << 479 << int(QImage::Format_RGB32) << box;
            QTest::addRow("641x479 gray, box %dx%d", box.width(), box.height())
                << 641 << 479 << int(QImage::Format_Grayscale8) << box;
        }
        QTest::addRow("single pixel") << 1 << 1 << int(QImage::Format_RGB32) << QSize(1, 1);
        QTest::addRow("17x33, box 3x5") << 17 << 33 << int(QImage::Format_RGB888) << QSize(3, 5);
        QTest::addRow("640x480, box 80x60") << 640 << 480 << int(QImage::Format_RGB32) << QSize(80, 60);
    }
    void previewFromTheBlocks()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, format);
        QFETCH(QSize, box);
        const QImage picture = photo(width, height, QImage::Format(format));
        for (bool progressive : {false, true}) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            EncodePreview preview{box, {}};
            QVERIFY(!encodeInto(buffer, pixelsOf(picture), 80, progressive, 2, nullptr, &preview));
            const PictureRead decoded = JpegDecoder(bytes).decode(box);
            QVERIFY(!decoded.problem);
            QVERIFY(!preview.picture.isNull());
            QCOMPARE(preview.picture.size(), decoded.picture.size());
            QCOMPARE(preview.picture, decoded.picture);
            QCOMPARE(preview.picture.dotsPerMeterX(), decoded.picture.dotsPerMeterX());
        }
    }

    // A job told to stop stops, whichever thread sees it, and writes no picture.
    void cancelledEncodeFails()
    {
        const QImage picture = photo(300, 300, QImage::Format_RGB32);
        const std::atomic<bool> cancel{true};
        for (int threads : {1, 4}) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            const MaybeProblem problem = encodeInto(buffer, pixelsOf(picture), 75, false, threads, &cancel);
            QVERIFY(problem);
            QCOMPARE(problem->kind, FailureKind::EncoderFailed);
            QVERIFY(!bytes.endsWith("\xff\xd9"));
        }
    }
};

QTEST_GUILESS_MAIN(TestJpegStrips)
#include "test_jpeg_strips.moc"
