// Pictures other writers make (ImageMagick, libjpeg-turbo's tools), made here at test
// time, as the program shows and converts them, against ImageMagick's reading of the
// same files and, for the JPEG a press writes, djpeg's reading of cjpeg's.

#include "platform/real/jpeg/libjpeg_encoder.h"
#include "platform/real/picture_service.h"
#include "support/failures.h"
#include "support/files.h"
#include "window/failure.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace pelk;
using namespace pelk::test;

namespace {

// A tool's standard output; fails the test when the tool does not run cleanly.
QByteArray output(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
        return {};
    }
    return process.readAllStandardOutput();
}

// The first picture of a file as ImageMagick shows it: on its screen, over white.
QImage imageMagick(const QString& file)
{
    const QString options =
        QStringLiteral("-coalesce -delete 1--1 -depth 8 -background white -alpha remove -alpha off");
    return QImage::fromData(output(QStringLiteral("convert"),
                                   QStringList{file} + options.split(u' ') + QStringList{QStringLiteral("ppm:-")}),
                            "PPM");
}

}  // namespace

class TestOtherWriters : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    // Each file is made by a shell command writing to $OUT; ImageMagick's `identify`
    // confirms the file has the property the row is about. A file named .bmp is pressed
    // into a JPEG, any other into a bitmap.
    void showsAndConvertsAsOthersRead_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("make");
        QTest::addColumn<QString>("property");  // an identify format, and what it must print
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("tolerance");

        // ImageMagick codes the padding of each run-length row as well.
        QTest::newRow("8-bit palette bitmap, run-length, 13 wide")
            << "rle.bmp"
            << "convert -seed 4 -size 13x7 plasma:fractal -type Palette BMP3:$OUT"
            << "%[compression]"
            << "RLE" << 0;
        QTest::newRow("V5 bitmap, 8-bit palette, run-length, 5 wide")
            << "rle5.bmp"
            << "convert -seed 5 -size 5x9 plasma:fractal -type Palette BMP:$OUT"
            << "%[compression]"
            << "RLE" << 0;
        // Qt's GIF reader mislays the rows of these.
        for (int rows : {3, 4})
            QTest::addRow("interlaced GIF, %d rows", rows)
                << "interlaced.gif"
                << QStringLiteral("convert -size 7x%1 gradient:red-blue -interlace GIF $OUT").arg(rows)
                << "%[interlace]"
                << "GIF" << 0;
        QTest::newRow("interlaced GIF, 4 rows, transparent, placed on a larger screen")
            << "placed.gif"
            << "convert -size 6x4 gradient:red-blue -transparent red -interlace GIF -repage 20x10+3+2 $OUT"
            << "%[interlace] %A %g"
            << "GIF True 20x10+3+2" << 0;
        QTest::newRow("interlaced GIF, 9 rows") << "nine.gif"
                                                << "convert -size 7x9 gradient:red-blue -interlace GIF $OUT"
                                                << "%[interlace]"
                                                << "GIF" << 0;
        // A GIF named as a bitmap is pressed into a JPEG: invisible pixels are white there too.
        QTest::newRow("GIF named .bmp, every pixel invisible") << "invisible.bmp"
                                                               << "convert -size 8x8 xc:none gif:$OUT"
                                                               << "%m %A"
                                                               << "GIF True" << 0;
        QTest::newRow("CMYK JPEG") << "cmyk.jpg"
                                   << "convert -seed 6 -size 13x5 plasma:fractal -colorspace CMYK $OUT"
                                   << "%[colorspace]"
                                   << "CMYK" << 2;
        QTest::newRow("arithmetic progressive JPEG, 4:4:0, 13x5")
            << "arith.jpg"
            << "convert -seed 6 -size 13x5 plasma:fractal -sampling-factor 1x2 jpg:- | jpegtran -arithmetic "
               "-progressive > $OUT"
            << "%[interlace]"
            << "JPEG" << 0;
    }

    void showsAndConvertsAsOthersRead()
    {
        QFETCH(QString, name);
        QFETCH(QString, make);
        QFETCH(QString, property);
        QFETCH(QString, expected);
        QFETCH(int, tolerance);
        const QString file = path(name);
        QFile::remove(file);
        QProcess maker;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("OUT"), file);
        maker.setProcessEnvironment(environment);
        maker.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), make});
        QVERIFY(maker.waitForFinished(60000));
        QCOMPARE(maker.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(output(QStringLiteral("identify"),
                                          {QStringLiteral("-format"), property, file + QStringLiteral("[0]")})),
                 expected);
        const QImage theirs = imageMagick(file);
        QVERIFY(!theirs.isNull());

        RealPictureService pictures;
        QImage shown;
        if (const std::optional<Failure> refused = failureOf([&] { shown = pictures.load(file); }))
            QFAIL(qPrintable(QStringLiteral("refused: ") + refused->detail()));
        QVERIFY2(largestDifference(overWhite(shown), theirs) <= tolerance, "the picture is not the one others show");

        if (name.endsWith(QLatin1String(".bmp"))) {
            // cjpeg, given ImageMagick's picture at the press's quality, makes the JPEG the
            // press should make: the two decode alike.
            LibjpegEncoder encoder;
            QByteArray ours = QFile::encodeName(path(QStringLiteral("ours.jpg")));
            QCOMPARE(encoder.SavetoJPEG(QFile::encodeName(file), ours, 90, false), std::int16_t(0));
            const QString ppm = path(QStringLiteral("theirs.ppm")), cjpegs = path(QStringLiteral("theirs.jpg"));
            QVERIFY(theirs.save(ppm, "PPM"));
            output(QStringLiteral("cjpeg"),
                   {QStringLiteral("-quality"), QStringLiteral("90"), QStringLiteral("-outfile"), cjpegs, ppm});
            QVERIFY2(largestDifference(djpeg(QString::fromLocal8Bit(ours)), djpeg(cjpegs)) <= 2,
                     "the JPEG is not the picture shown");
        } else {
            const QString bitmap = path(QStringLiteral("out.bmp"));
            pictures.saveBitmap(shown, bitmap);
            QVERIFY2(largestDifference(imageMagick(bitmap), theirs) <= tolerance,
                     "the bitmap is not the picture shown");
        }
    }
};

QTEST_GUILESS_MAIN(TestOtherWriters)
#include "test_other_writers.moc"
