// A JPEG decoded while it is written, piece by piece on another thread, is the picture
// decoded from the whole file; a stream that ends early is refused as a cut file is.

#include "platform/real/ahead/byte_pipe.h"
#include "platform/real/jpeg/jpeg_decoder.h"
#include "support/files.h"

#include <QBuffer>
#include <QImageWriter>
#include <QTest>

#include <thread>

using namespace pelk;
using namespace pelk::test;

namespace {

// A JPEG written by Qt's writer (not this program's encoder), with an application segment
// long enough that the decoder skips it across many pieces.
QByteArray jpegOf(const QImage& picture, bool progressive)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(80);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(picture))
        return {};
    // APP9, 6000 bytes long with its length, full of end markers that only a skip passes over.
    QByteArray segment("\xff\xe9\x17\x70", 4);
    for (int i = 0; i < 5998 / 2; ++i)
        segment += "\xff\xd9";
    return bytes.insert(2, segment);
}

// Writes `bytes` into the pipe in pieces of `piece` bytes from a thread of its own, while
// the caller decodes.
PictureRead decodeWhileWritten(const QByteArray& bytes, qsizetype piece, qsizetype stopAt, QSize box)
{
    BytePipe pipe;
    std::thread writer([&] {
        for (qsizetype at = 0; at < stopAt; at += piece)
            pipe.write(bytes.constData() + at, std::min(piece, stopAt - at));
        pipe.finish();
    });
    PictureRead read = JpegDecoder(pipe).decode(box);
    writer.join();
    if (pipe.bytes() != bytes.left(stopAt))  // the pipe keeps every byte for the file
        return {{}, Problem{FailureKind::WriteFailed, QStringLiteral("the pipe lost bytes")}};
    return read;
}

}  // namespace

class TestBytePipe : public QObject {
    Q_OBJECT

private slots:
    void sameAsTheWholeFile_data()
    {
        QTest::addColumn<bool>("progressive");
        QTest::addColumn<int>("piece");
        QTest::addColumn<QSize>("box");
        for (bool progressive : {false, true}) {
            const char* kind = progressive ? "progressive" : "baseline";
            QTest::addRow("%s, 1-byte pieces, reduced", kind) << progressive << 1 << QSize(60, 40);
            QTest::addRow("%s, 7-byte pieces, whole", kind) << progressive << 7 << QSize();
            QTest::addRow("%s, 64 KiB pieces, reduced", kind) << progressive << 65536 << QSize(100, 80);
        }
    }
    void sameAsTheWholeFile()
    {
        QFETCH(bool, progressive);
        QFETCH(int, piece);
        QFETCH(QSize, box);
        const QByteArray bytes = jpegOf(photoLike(403, 301, 5), progressive);
        QVERIFY(bytes.size() > 7000);
        const PictureRead whole = JpegDecoder(bytes).decode(box);
        QVERIFY(!whole.problem);
        const PictureRead streamed = decodeWhileWritten(bytes, piece, bytes.size(), box);
        QVERIFY2(!streamed.problem, qPrintable(streamed.problem ? streamed.problem->reason : QString()));
        QCOMPARE(streamed.picture, whole.picture);
    }

    // The encode failed or was stopped: the decode of what came is refused, never shown.
    void aStreamEndingEarlyIsRefused_data()
    {
        QTest::addColumn<double>("share");
        QTest::newRow("inside the header") << 0.001;
        QTest::newRow("inside the skipped segment") << 0.2;
        QTest::newRow("inside the picture") << 0.7;
        QTest::newRow("all but the end marker") << 1.0;
    }
    void aStreamEndingEarlyIsRefused()
    {
        QFETCH(double, share);
        const QByteArray bytes = jpegOf(photoLike(403, 301, 5), false);
        const qsizetype stopAt = share >= 1.0 ? bytes.size() - 2 : qsizetype(double(bytes.size()) * share);
        const PictureRead read = decodeWhileWritten(bytes, 100, stopAt, QSize(60, 40));
        // As the same bytes read whole are: a file without its end is taken for a cut one.
        QVERIFY(JpegDecoder(bytes.left(stopAt)).decode(QSize(60, 40)).problem);
        QVERIFY(read.problem);
        QCOMPARE(read.problem->kind, FailureKind::NotAPicture);
        QVERIFY(read.picture.isNull());
    }
};

QTEST_GUILESS_MAIN(TestBytePipe)
#include "test_byte_pipe.moc"
