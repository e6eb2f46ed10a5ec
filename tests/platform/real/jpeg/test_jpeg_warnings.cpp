// JPEGs that libjpeg warns of, made with libjpeg-turbo's own tools and a few edited bytes.
// Those whose every block is still decoded from the file show and convert, the preview
// and the written bitmap alike, as djpeg decodes them; those whose picture libjpeg had to
// make up in part are refused on every road with libjpeg's words, as djpeg warns of them.
#include "platform/real/picture_service.h"
#include "support/failures.h"
#include "support/files.h"
#include "window/failure.h"

#include <QBuffer>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <functional>
#include <memory>
#include <optional>

using namespace pelk;
using namespace pelk::test;

namespace {

const QSize box(248, 228);  // the preview's box: a 640x480 JPEG shows from a half-size decode

struct Run {
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Run run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.closeWriteChannel();
    Run result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    return result;
}

QImage bitmapPixels(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "bmp");
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

// The segments before the first scan: marker, offset of its 0xff, length field.
struct Segment {
    int marker;
    qsizetype at;
    qsizetype length;
};
QList<Segment> headerSegments(const QByteArray& jpeg)
{
    QList<Segment> segments;
    for (qsizetype at = 2; at + 4 <= jpeg.size();) {
        const int marker = uchar(jpeg[at + 1]);
        const qsizetype length = qFromBigEndian<quint16>(jpeg.constData() + at + 2);
        segments.append({marker, at, length});
        if (marker == 0xda)
            break;
        at += 2 + length;
    }
    return segments;
}

QByteArray withoutSegments(const QByteArray& jpeg, int marker)
{
    QByteArray kept = jpeg;
    const QList<Segment> segments = headerSegments(jpeg);
    for (auto s = segments.crbegin(); s != segments.crend(); ++s)
        if (s->marker == marker)
            kept.remove(s->at, 2 + s->length);
    return kept;
}

qsizetype firstSegment(const QByteArray& jpeg, int marker)
{
    for (const Segment& s : headerSegments(jpeg))
        if (s.marker == marker)
            return s.at;
    qFatal("no marker 0x%x", marker);
}

// Where the first scan's coded data end: the first marker after them but a restart.
qsizetype endOfFirstScan(const QByteArray& jpeg)
{
    const qsizetype sos = firstSegment(jpeg, 0xda);
    qsizetype at = sos + 2 + qFromBigEndian<quint16>(jpeg.constData() + sos + 2);
    for (; at + 1 < jpeg.size(); ++at) {
        const int next = uchar(jpeg[at + 1]);
        if (uchar(jpeg[at]) == 0xff && next != 0x00 && (next < 0xd0 || next > 0xd7))
            return at;
    }
    qFatal("no end of the scan");
}

QByteArray edited(QByteArray jpeg, qsizetype at, char value)
{
    jpeg[at] = value;
    return jpeg;
}

// A motion-JPEG camera's frame: an AVI1 segment instead of JFIF's, and no Huffman tables
// (the standard ones go without saying).
QByteArray asCameraFrame(const QByteArray& jpeg)
{
    const QByteArray avi1("\xff\xe0\x00\x10"
                          "AVI1\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00",
                          18);
    return withoutSegments(withoutSegments(jpeg, 0xc4), 0xe0).insert(2, avi1);
}

QByteArray withBytesInTheHeader(const QByteArray& jpeg)
{
    return QByteArray(jpeg).insert(firstSegment(jpeg, 0xdb), QByteArray(3, '\0'));
}

// More than the decoder's bit buffer takes in ahead of need.
QByteArray withBytesBeforeTheEnd(const QByteArray& jpeg)
{
    return QByteArray(jpeg).insert(jpeg.size() - 2, QByteArray(64, '\x55'));
}

QByteArray withBytesAfterTheFirstScan(const QByteArray& jpeg)
{
    return QByteArray(jpeg).insert(endOfFirstScan(jpeg), QByteArray(5, '\x11'));
}

QByteArray withJfifRevision2(const QByteArray& jpeg) { return edited(jpeg, firstSegment(jpeg, 0xe0) + 9, 2); }

// Without JFIF's word on the colours, libjpeg goes by Adobe's, whose code 7 means nothing.
QByteArray withUnknownAdobeTransform(const QByteArray& jpeg)
{
    const QByteArray adobe("\xff\xee\x00\x0e"
                           "Adobe\x00\x64\x00\x00\x00\x00\x07",
                           16);
    return withoutSegments(jpeg, 0xe0).insert(2, adobe);
}

QByteArray withSpectralEnd0(const QByteArray& jpeg)
{
    const qsizetype sos = firstSegment(jpeg, 0xda);
    return edited(jpeg, sos + 5 + 2 * uchar(jpeg[sos + 4]) + 1, 0);
}

QByteArray cutShort(const QByteArray& jpeg) { return jpeg.left(jpeg.size() * 6 / 10); }

QByteArray cutShortEnded(const QByteArray& jpeg) { return cutShort(jpeg) + "\xff\xd9"; }

QByteArray withRestartOutOfOrder(const QByteArray& jpeg) { return edited(jpeg, jpeg.indexOf("\xff\xd0") + 1, '\xd3'); }

// Every later scan refines coefficients the first one should have sent.
QByteArray withoutTheFirstScan(const QByteArray& jpeg)
{
    const qsizetype sos = firstSegment(jpeg, 0xda);
    return QByteArray(jpeg).remove(sos, endOfFirstScan(jpeg) - sos);
}

// Bytes of the first scan's coded data flipped, without making or breaking a marker.
QByteArray scrambled(const QByteArray& jpeg)
{
    QByteArray bytes = jpeg;
    const qsizetype data = firstSegment(jpeg, 0xda) + 14;
    for (qsizetype i = data + 200; i < data + 600; i += 3) {
        const uchar flipped = uchar(bytes[i]) ^ 0x5a;
        if (uchar(bytes[i - 1]) != 0xff && uchar(bytes[i]) != 0xff && flipped != 0xff)
            bytes[i] = char(flipped);
    }
    return bytes;
}

// A run of ones in the middle of the coded data, which no Huffman table holds.
QByteArray withBadHuffmanCode(const QByteArray& jpeg)
{
    const qsizetype middle = (firstSegment(jpeg, 0xda) + jpeg.size()) / 2;
    return QByteArray(jpeg).replace(middle, 32, QByteArray("\xff\x00", 2).repeated(16));
}

using Edit = std::function<QByteArray(const QByteArray&)>;

}  // namespace

Q_DECLARE_METATYPE(Edit)

class TestJpegWarnings : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString path(const char* name) const { return dir_->filePath(QString::fromLatin1(name)); }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }

    void warnedJpegs_data()
    {
        QTest::addColumn<QStringList>("make");  // the tool and its arguments, reading the PPM
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QString>("djpegSays");  // djpeg's warning; empty: none
        QTest::addColumn<QString>("refusal");    // in the failure's detail; empty: shown
        const QStringList cjpeg = {QStringLiteral("cjpeg"), QStringLiteral("-quality"), QStringLiteral("85")};
        const QStringList camera = cjpeg + QStringList{"-sample", "2x1", "-restart", "1"};
        const QStringList progressive = cjpeg + QStringList{"-progressive"};
        const auto row = [](const char* name, const QStringList& make, const Edit& edit, const char* djpegSays,
                            const char* refusal = "") {
            QTest::newRow(name) << make << edit << QString::fromLatin1(djpegSays) << QString::fromLatin1(refusal);
        };

        // Harmless.
        row("motion-JPEG frame without DHT segments", camera, asCameraFrame, "");
        row("extraneous bytes before a header marker", cjpeg, withBytesInTheHeader,
            "3 extraneous bytes before marker 0xdb");
        row("extraneous bytes before the end marker", cjpeg, withBytesBeforeTheEnd,
            "extraneous bytes before marker 0xd9");
        row("extraneous bytes after a progressive scan", progressive, withBytesAfterTheFirstScan,
            "5 extraneous bytes before marker");
        row("unknown JFIF revision", cjpeg, withJfifRevision2, "unknown JFIF revision number 2.");
        row("unknown Adobe transform", cjpeg, withUnknownAdobeTransform, "Unknown Adobe color transform code 7");
        row("baseline scan with a spectral end of 0", cjpeg, withSpectralEnd0,
            "Invalid SOS parameters for sequential JPEG");

        // Damage. djpeg reads through a larger buffer and, on its fast road, may name
        // another fault first in the same coded data.
        row("cut short", cjpeg, cutShort, "Premature end of JPEG file", "ends inside its picture data");
        row("cut short, end marker put back", cjpeg, cutShortEnded, "premature end of data segment",
            "premature end of data segment");
        row("corrupt entropy data", cjpeg, scrambled, "Corrupt JPEG data", "Corrupt JPEG data");
        row("bad Huffman code", cjpeg, withBadHuffmanCode, "Corrupt JPEG data", "bad Huffman code");
        row("restart marker out of order", camera, withRestartOutOfOrder, "found marker 0xd3 instead of RST0",
            "found marker 0xd3 instead of RST0");
        row("progression without its first scan", progressive, withoutTheFirstScan, "Inconsistent progression sequence",
            "Inconsistent progression sequence");
    }

    void warnedJpegs()
    {
        QFETCH(QStringList, make);
        QFETCH(Edit, edit);
        QFETCH(QString, djpegSays);
        QFETCH(QString, refusal);
        const QString ppm = path("source.ppm");
        QVERIFY(photoLike(640, 480, 11).save(ppm, "PPM"));
        const Run made = run(make.first(), make.mid(1) + QStringList{ppm});
        QCOMPARE(made.exitCode, 0);
        const QByteArray original = made.out;
        const QString file = path("warned.jpg");
        writeBytes(file, edit(original));

        // djpeg's verdict on the same file, and its pictures of the untouched one.
        const Run djpeg = run(QStringLiteral("djpeg"), {QStringLiteral("-bmp"), file});
        if (djpegSays.isEmpty()) {
            QCOMPARE(djpeg.exitCode, 0);
            QCOMPARE(djpeg.err, QString());
        } else {
            // 2: djpeg decoded it with warnings; 1: it stopped at an error besides.
            QVERIFY2(refusal.isEmpty() ? djpeg.exitCode == 2 : djpeg.exitCode != 0, qPrintable(djpeg.err));
            QVERIFY2(djpeg.err.contains(djpegSays, Qt::CaseInsensitive), qPrintable(djpeg.err));
        }
        RealPictureService pictures;
        if (!refusal.isEmpty()) {
            for (const auto& road : std::initializer_list<std::function<void()>>{
                     [&] { pictures.load(file); },
                     [&] { pictures.loadForDisplay(file, box); },
                     [&] { pictures.loadShownFirst(file, box); },
                 }) {
                const std::optional<Failure> failure = failureOf(road);
                QVERIFY(failure.has_value());
                QCOMPARE(failure->kind(), FailureKind::NotAPicture);
                QVERIFY2(failure->detail().contains(refusal, Qt::CaseInsensitive), qPrintable(failure->detail()));
            }
            return;
        }
        writeBytes(path("original.jpg"), original);
        const QImage whole = bitmapPixels(run(QStringLiteral("djpeg"), {"-bmp", path("original.jpg")}).out);
        const QImage half =
            bitmapPixels(run(QStringLiteral("djpeg"), {"-bmp", "-scale", "1/2", path("original.jpg")}).out);
        QCOMPARE(whole.size(), QSize(640, 480));
        QCOMPARE(half.size(), QSize(320, 240));
        QVERIFY(bitmapPixels(djpeg.out) == whole);  // stepping over the oddity loses nothing

        // The dropped file's preview and the bitmap its press writes, and the same from a
        // whole decode.
        try {
            const QImage shown = pictures.loadShownFirst(file, box);
            QVERIFY(shown.convertToFormat(QImage::Format_RGB32) == half);
            pictures.saveBitmap(shown, path("pressed.bmp"));
            QVERIFY(bitmapPixels(readBytes(path("pressed.bmp"))) == whole);
            QVERIFY(pictures.load(file).convertToFormat(QImage::Format_RGB32) == whole);
            QVERIFY(pictures.loadForDisplay(file, box).convertToFormat(QImage::Format_RGB32) == half);
        } catch (const Failure& failure) {
            QFAIL(qPrintable(QStringLiteral("refused: ") + failure.detail()));
        }
    }
};

QTEST_GUILESS_MAIN(TestJpegWarnings)
#include "test_jpeg_warnings.moc"
