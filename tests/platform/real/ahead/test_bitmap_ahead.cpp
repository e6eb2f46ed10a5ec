// The bitmap made ahead of a dropped JPEG, on its own: the latest drop's bitmap is the one
// handed out, for as long as that drop stands (a press may write it twice); a cancelled
// drop's is no longer held, and a damaged JPEG's failure is the read's.
#include "platform/real/ahead/bitmap_ahead.h"
#include "platform/real/picture_service.h"
#include "support/corpus_files.h"
#include "support/files.h"
#include "window/failure.h"

#include <QBuffer>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

using namespace pelk;
using namespace pelk::test;

namespace {

QImage decodedBitmap(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "bmp");
    return reader.read();
}

}  // namespace

class TestBitmapAhead : public QObject {
    Q_OBJECT

private slots:
    // Steps on a BitmapAhead: "a" and "b" start on two JPEGs of different sizes, "bad" on
    // a damaged one, "cancel" cancels; then bytes() is asked for twice.
    void theLatestDropIsHandedOut_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QSize>("size");   // of the bitmap handed out
        QTest::addColumn<int>("failure");  // the kind thrown instead; -1 none
        const QSize a(640, 480), b(300, 500);
        QTest::newRow("one drop") << QStringList{"a"} << a << -1;
        QTest::newRow("a newer drop") << QStringList{"a", "b"} << b << -1;
        QTest::newRow("cancelled") << QStringList{"a", "cancel"} << QSize() << int(FailureKind::WriteFailed);
        QTest::newRow("cancelled, then a drop") << QStringList{"a", "cancel", "b"} << b << -1;
        QTest::newRow("nothing dropped") << QStringList{} << QSize() << int(FailureKind::WriteFailed);
        QTest::newRow("damaged") << QStringList{"bad"} << QSize() << int(FailureKind::NotAPicture);
        QTest::newRow("damaged, then a good drop") << QStringList{"bad", "a"} << a << -1;
    }
    void theLatestDropIsHandedOut()
    {
        QFETCH(QStringList, steps);
        QFETCH(QSize, size);
        QFETCH(int, failure);
        const QImage photoA = photoLike(640, 480, 1);
        const QImage photoB = photoLike(300, 500, 2);
        BitmapAhead ahead;
        for (const QString& step : steps) {
            if (step == QLatin1String("cancel"))
                ahead.cancel();
            else if (step == QLatin1String("bad"))
                ahead.start(damagedJpeg(makeJpeg(photoA), JpegDamage::BadHuffmanCode));
            else
                ahead.start(makeJpeg(step == QLatin1String("a") ? photoA : photoB));
        }
        for (int asked = 0; asked < 2; ++asked) {
            try {
                const QImage bitmap = decodedBitmap(ahead.bytes());
                QCOMPARE(failure, -1);
                QCOMPARE(bitmap.size(), size);
                const QImage& photo = size == photoA.size() ? photoA : photoB;
                QVERIFY2(psnr(photo, bitmap) > 30, qPrintable(QString::number(psnr(photo, bitmap))));
            } catch (const Failure& thrown) {
                QCOMPARE(int(thrown.kind()), failure);
            }
        }
    }

    // The press's road: a reduced picture saved twice writes the whole picture twice, both
    // times from what was made ahead.
    void aReducedPictureSavesAgain()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("photo.jpg"));
        const QImage photo = photoLike(1600, 1200, 3);
        writeBytes(source, makeJpeg(photo));
        RealPictureService pictures;
        const QImage shown = pictures.loadShownFirst(source, QSize(248, 228));
        QVERIFY(shown.width() < photo.width());
        const QStringList outs{dir.filePath(QStringLiteral("1.bmp")), dir.filePath(QStringLiteral("2.bmp"))};
        for (const QString& out : outs)
            pictures.saveBitmap(shown, out);
        QCOMPARE(pictures.savesFromAhead(), 2);
        const QImage theirs = djpeg(source);
        QCOMPARE(theirs.size(), photo.size());
        for (const QString& out : outs) {
            const QImage written = decodedBitmap(readBytes(out));
            QCOMPARE(written.size(), photo.size());
            QVERIFY2(psnr(theirs, written) > 40, qPrintable(QString::number(psnr(theirs, written))));
        }
    }
};

QTEST_GUILESS_MAIN(TestBitmapAhead)
#include "test_bitmap_ahead.moc"
