// Other people's bitmaps: the BMP Suite (tests/data/bmpsuite, see its README) as the
// program shows and converts it, against the suite's reference renderings; and bitmaps
// made here with every header size, against the pictures they were made from.

#include "platform/real/jpeg/libjpeg_encoder.h"
#include "platform/real/picture_service.h"
#include "platform/real/real_platform.h"
#include "support/failures.h"
#include "support/files.h"
#include "support/image_bmp.h"
#include "window/failure.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <map>

using namespace pelk;
using namespace pelk::test;

namespace {

QString suite(const QString& name)
{
    return qEnvironmentVariable("PELK_SOURCE_DIR") + QStringLiteral("/tests/data/bmpsuite/") + name;
}

// A reference rendering as the program shows transparency: composed over white.
QImage reference(const QString& name)
{
    const QImage png(suite(QStringLiteral("reference/") + name));
    if (png.isNull())
        return {};
    return overWhite(png);
}

struct Run {
    QString failure;  // empty when the runner ended cleanly
    std::map<QString, QString> values;
};

// One drop and press in a child process, with freed and fresh memory filled with `perturb`.
Run dropAndPress(const QString& folder, const QString& file, int perturb)
{
    Run run;
    QProcess child;
    child.setWorkingDirectory(folder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MALLOC_PERTURB_"), QString::number(perturb));
    child.setProcessEnvironment(environment);
    child.start(qEnvironmentVariable("PELK_BINARY_DIR") + QStringLiteral("/tests/pelk_drop_runner"),
                {file, QStringLiteral("1536")});
    if (!child.waitForFinished(120000)) {
        child.kill();  // only this child, by its own handle
        child.waitForFinished(5000);
        run.failure = QStringLiteral("did not finish");
        return run;
    }
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        run.failure = QStringLiteral("ended badly: ") + QString::fromUtf8(child.readAllStandardError().right(2000));
    for (const QString& line : QString::fromUtf8(child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
        if (const qsizetype eq = line.indexOf(u'='); eq > 0)
            run.values[line.left(eq)] = line.mid(eq + 1);
    return run;
}

// How far two JPEGs of the same pixels may decode apart: a gray picture is encoded as
// gray by the press and as colour by cjpeg, which rounds differently.
constexpr int jpegTolerance = 2;

}  // namespace

class TestBmpSuite : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    // What the window shows of the file, checked to be what a press converts: the JPEG,
    // decoded by djpeg, is the shown picture within JPEG's loss.
    QImage showAndPress(const QString& file)
    {
        RealPictureService pictures;
        QImage shown;
        if (const std::optional<Failure> refused = failureOf([&] { shown = pictures.load(file); })) {
            qWarning("refused: %s", qPrintable(refused->detail()));
            return {};
        }
        // A small file's preview is the picture itself.
        if (largestDifference(pictures.loadForDisplay(file, QSize(300, 200)), shown) != 0) {
            qWarning("the preview is another picture");
            return {};
        }
        LibjpegEncoder encoder;
        QByteArray output = QFile::encodeName(path(QStringLiteral("out.jpg")));
        if (encoder.SavetoJPEG(QFile::encodeName(file), output, 95, false) != 0) {
            qWarning("the press failed");
            return {};
        }
        // The press as the program makes it, from the picture the window holds, on every
        // core: the same bytes as from the file.
        RealServices services;
        QByteArray fromHeld = QFile::encodeName(path(QStringLiteral("held.jpg")));
        services.pictures.load(file);
        if (services.encoder.SavetoJPEG(QFile::encodeName(file), fromHeld, 95, false) != 0
            || readBytes(path(QStringLiteral("held.jpg"))) != readBytes(path(QStringLiteral("out.jpg")))) {
            qWarning("the press from the held picture wrote other bytes");
            return {};
        }
        // cjpeg, given the shown picture at the same quality, makes the JPEG the press
        // should have made: decoded, the two agree unless their sources differ.
        const QString ppm = path(QStringLiteral("shown.ppm")), theirs = path(QStringLiteral("theirs.jpg"));
        if (!shown.convertToFormat(QImage::Format_RGB32).save(ppm, "PPM")
            || QProcess::execute(
                   QStringLiteral("cjpeg"),
                   {QStringLiteral("-quality"), QStringLiteral("95"), QStringLiteral("-outfile"), theirs, ppm})
                != 0) {
            qWarning("cjpeg failed");
            return {};
        }
        const int off = largestDifference(djpeg(path(QStringLiteral("out.jpg"))), djpeg(theirs));
        if (off > jpegTolerance) {
            qWarning("the JPEG is another picture: off by %d", off);
            return {};
        }
        return shown;
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    // Each file that shows, and the references it must match: any one of them, every
    // channel of every pixel within the tolerance. Where the references give the choice,
    // run-length skips show as transparency does (over white).
    void shownFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("references");
        QTest::addColumn<int>("tolerance");
        const auto row = [](const char* file, QStringList references, int tolerance = 0) {
            QTest::newRow(file) << QString::fromLatin1(file) << references << tolerance;
        };
        const QStringList pal8{"pal8.png"}, rgb24{"rgb24.png"}, rgba32{"rgba32.png"};
        // Good files: the picture exactly.
        row("g/pal1.bmp", {"pal1.png"});
        row("g/pal1wb.bmp", {"pal1.png"});
        row("g/pal1bg.bmp", {"pal1bg.png"});
        row("g/pal4.bmp", {"pal4.png"});
        row("g/pal4gs.bmp", {"pal4gs.png"});
        row("g/pal4rle.bmp", {"pal4.png"});
        for (const char* file : {"g/pal8.bmp", "g/pal8-0.bmp", "g/pal8rle.bmp", "g/pal8topdown.bmp", "g/pal8os2.bmp",
                                 "g/pal8v4.bmp", "g/pal8v5.bmp"})
            row(file, pal8);
        row("g/pal8gs.bmp", {"pal8gs.png"});
        row("g/pal8w124.bmp", {"pal8w124.png"});
        row("g/pal8w125.bmp", {"pal8w125.png"});
        row("g/pal8w126.bmp", {"pal8w126.png"});
        row("g/pal8nonsquare.bmp", {"pal8nonsquare-e.png"});  // left as stored, as an editor does
        row("g/rgb16.bmp", {"rgb16.png"});
        row("g/rgb16bfdef.bmp", {"rgb16.png"});
        row("g/rgb16-565.bmp", {"rgb16-565.png"});
        row("g/rgb16-565pal.bmp", {"rgb16-565.png"});
        for (const char* file : {"g/rgb24.bmp", "g/rgb24pal.bmp", "g/rgb32.bmp", "g/rgb32bfdef.bmp", "g/rgb32bf.bmp"})
            row(file, rgb24);
        // Questionable files that show must be faithful.
        row("q/pal1p1.bmp", {"pal1p1.png"});
        row("q/pal2.bmp", {"pal2.png"});
        row("q/pal2color.bmp", {"pal2color.png"});
        row("q/pal4rletrns.bmp", {"pal4rletrns.png"});
        row("q/pal4rlecut.bmp", {"pal4rlecut.png"});
        row("q/pal8rletrns.bmp", {"pal8rletrns.png"});
        row("q/pal8rlecut.bmp", {"pal8rlecut.png"});
        for (const char* file : {"q/pal8offs.bmp", "q/pal8os2-sz.bmp", "q/pal8os2-hs.bmp", "q/pal8os2sp.bmp",
                                 "q/pal8os2v2.bmp", "q/pal8os2v2-16.bmp", "q/pal8os2v2-sz.bmp", "q/pal8os2v2-40sz.bmp"})
            row(file, pal8);
        row("q/rgb16faketrns.bmp", {"rgb16.png"});  // the unused bit is no alpha
        row("q/rgb16-231.bmp", {"rgb16-231.png"});
        row("q/rgb16-3103.bmp", {"rgb16-3103.png"});
        row("q/rgba16-4444.bmp", {"rgba16-4444.png"}, 1);  // composing over white rounds
        row("q/rgba16-5551.bmp", {"rgba16-5551.png"});
        row("q/rgba16-1924.bmp", {"rgba16-1924.png"}, 1);
        for (const char* file :
             {"q/rgb24largepal.bmp", "q/rgb24lprof.bmp", "q/rgb32h52.bmp", "q/rgb32-xbgr.bmp", "q/rgb32fakealpha.bmp"})
            row(file, rgb24);
        row("q/rgb32-111110.bmp", rgb24, 1);  // the 8-bit picture widened to 11 bits and back
        row("q/rgb32-7187.bmp", {"rgb32-7187.png"});
        for (const char* file : {"q/rgba32-1.bmp", "q/rgba32-2.bmp", "q/rgba32abf.bmp", "q/rgba32h56.bmp"})
            row(file, rgba32, 1);
        row("q/rgba32-1010102.bmp", {"rgba32-1010102.png"}, 1);
        row("q/rgba32-81284.bmp", {"rgba32-81284.png"}, 1);
        row("q/rgba32-61754.bmp", {"rgba32-61754.png"}, 1);
    }

    void shownFiles()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, references);
        QFETCH(int, tolerance);
        const QImage shown = showAndPress(suite(file));
        QVERIFY(!shown.isNull());
        int closest = 256;
        for (const QString& name : references) {
            const QImage expected = reference(name);
            QVERIFY2(!expected.isNull(), qPrintable(name));
            closest = std::min(closest, largestDifference(shown, expected));
        }
        QVERIFY2(closest <= tolerance, qPrintable(QStringLiteral("off by %1").arg(closest)));
    }

    // Codings the program does not read (they were made for printers, or by one vendor),
    // and a palette longer than its pixels can index: refused at the drop and by the press
    // alike, never shown in part.
    void refusedFiles_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* file : {"q/rgb24jpeg.bmp", "q/rgb24png.bmp", "q/rgb24rle24.bmp", "q/pal1huffmsb.bmp",
                                 "q/rgba64.bmp", "x/ba-bm.bmp", "q/pal8oversizepal.bmp"})
            QTest::newRow(file) << QString::fromLatin1(file);
    }

    void refusedFiles()
    {
        QFETCH(QString, file);
        RealPictureService pictures;
        QVERIFY_THROWS_EXCEPTION(Failure, pictures.load(suite(file)));
        LibjpegEncoder encoder;
        QByteArray output = QFile::encodeName(path(QStringLiteral("refused.jpg")));
        QVERIFY(encoder.SavetoJPEG(QFile::encodeName(suite(file)), output, 95, false) != 0);
        QVERIFY(!QFile::exists(path(QStringLiteral("refused.jpg"))));
    }

    // Bad files are refused, or shown and converted the same whatever the memory held
    // before: two runs with freed and fresh memory filled differently.
    void badFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("shows");
        const auto row = [](const char* file, bool shows) {
            QTest::newRow(file) << QString::fromLatin1(file) << shows;
        };
        row("b/badbitcount.bmp", false);
        row("b/badbitssize.bmp", true);  // the image size field is not needed
        row("b/baddens1.bmp", true);
        row("b/baddens2.bmp", true);
        row("b/badfilesize.bmp", true);
        row("b/badheadersize.bmp", false);
        row("b/badpalettesize.bmp", false);
        row("b/badplanes.bmp", true);
        for (const char* file :
             {"b/badrle.bmp", "b/badrle4.bmp", "b/badrle4bis.bmp", "b/badrle4ter.bmp", "b/badrlebis.bmp",
              "b/badrleter.bmp", "b/rletopdown.bmp", "b/shortfile.bmp", "b/badwidth.bmp", "b/reallybig.bmp"})
            row(file, false);
        row("b/pal8badindex.bmp", true);
        row("b/rgb16-880.bmp", true);  // no blue bits: no blue
    }

    void badFiles()
    {
        QFETCH(QString, file);
        QFETCH(bool, shows);
        const Run first = dropAndPress(dir_.path(), suite(file), 0x55);
        const Run second = dropAndPress(dir_.path(), suite(file), 0xaa);
        QVERIFY2(first.failure.isEmpty(), qPrintable(first.failure));
        QVERIFY2(second.failure.isEmpty(), qPrintable(second.failure));
        const auto value = [](const Run& run, const char* key) { return run.values.at(QString::fromLatin1(key)); };
        QCOMPARE(value(first, "drop"), shows ? QStringLiteral("shown") : QStringLiteral("failed"));
        QCOMPARE(value(second, "drop"), value(first, "drop"));
        QCOMPARE(value(second, "sourcePixels"), value(first, "sourcePixels"));
        if (shows) {
            QCOMPARE(value(first, "press"), QStringLiteral("完了しました。"));
            QCOMPARE(value(second, "outputPixels"), value(first, "outputPixels"));
        }
    }

    // Indices past the palette show black, in the preview and the JPEG alike; the
    // others their palette colour. The file's 8-bit rows are read here by hand.
    void indicesPastThePalette()
    {
        const QString file = suite(QStringLiteral("b/pal8badindex.bmp"));
        const QByteArray bytes = readBytes(file);
        const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
        const quint32 dataOffset = qFromLittleEndian<quint32>(b + 10);
        const int width = qFromLittleEndian<qint32>(b + 18), height = qFromLittleEndian<qint32>(b + 22);
        const quint32 colours = qFromLittleEndian<quint32>(b + 46);
        QVERIFY(dataOffset + qint64((width + 3) / 4 * 4) * height <= bytes.size());
        const QImage shown = showAndPress(file);
        QCOMPARE(shown.size(), QSize(width, height));
        int pastThePalette = 0;
        for (int y = 0; y < height; ++y) {
            const uchar* row = b + dataOffset + (height - 1 - y) * ((width + 3) / 4 * 4);
            for (int x = 0; x < width; ++x) {
                const uchar* entry = b + 54 + 4 * row[x];
                const QRgb expected = row[x] < colours ? qRgb(entry[2], entry[1], entry[0]) : qRgb(0, 0, 0);
                pastThePalette += row[x] >= colours;
                QCOMPARE(shown.pixel(x, y), expected);
            }
        }
        QVERIFY(pastThePalette > 100);
    }

    // Bitmaps made here, in every header a bit-field or palette bitmap may have: exactly
    // the picture they were made from.
    void headerSizes_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<int>("header");
        using L = pelk::test::BmpLayout;
        for (int header : {40, 52, 56, 108, 124}) {
            for (const auto& [name, layout] : {std::pair{"1-5-5-5", L::Rgb555},
                                               {"5-6-5", L::Rgb565},
                                               {"32-bit masks", L::Bitfields32},
                                               {"8-bit palette", L::Palette8}})
                QTest::addRow("%s, %d-byte header", name, header) << int(layout) << header;
        }
        for (int header : {56, 108, 124})
            QTest::addRow("alpha, %d-byte header", header) << int(L::Alpha32) << header;
        QTest::addRow("alpha left zero, 56-byte header") << int(L::ZeroAlpha32) << 56;
        QTest::addRow("OS/2 core header, 4-bit palette") << int(L::Palette4) << 12;
        QTest::addRow("OS/2 core header, 24-bit") << int(L::Rgb24) << 12;
    }

    void headerSizes()
    {
        QFETCH(int, layout);
        QFETCH(int, header);
        const BmpFile bmp = makeBmp(colourBlocks(67, 29, 8, 3), pelk::test::BmpLayout(layout), {false, header});
        writeBytes(path(QStringLiteral("made.bmp")), bmp.bytes);
        const QImage shown = showAndPress(path(QStringLiteral("made.bmp")));
        QCOMPARE(largestDifference(shown, bmp.expected), 0);
    }

    // A plain file is streamed from its rows; the same file without its last row's padding
    // is decoded whole. Both roads give the picture it was made from.
    void bothRoads_data()
    {
        QTest::addColumn<int>("header");
        QTest::addColumn<bool>("topDown");
        QTest::newRow("40-byte header") << 40 << false;
        QTest::newRow("V4 header") << 108 << false;
        QTest::newRow("V5 header, top-down") << 124 << true;
    }

    void bothRoads()
    {
        QFETCH(int, header);
        QFETCH(bool, topDown);
        // 67 pixels of 3 bytes: 3 bytes of padding a row, the last row's at the file's end.
        const BmpFile bmp = makeBmp(photoLike(67, 29, 5), pelk::test::BmpLayout::Rgb24, {topDown, header});
        writeBytes(path(QStringLiteral("whole.bmp")), bmp.bytes);
        writeBytes(path(QStringLiteral("cut.bmp")), bmp.bytes.left(bmp.bytes.size() - 3));
        QCOMPARE(largestDifference(showAndPress(path(QStringLiteral("whole.bmp"))), bmp.expected), 0);
        QCOMPARE(largestDifference(showAndPress(path(QStringLiteral("cut.bmp"))), bmp.expected), 0);
    }
};

QTEST_GUILESS_MAIN(TestBmpSuite)
#include "test_bmp_suite.moc"
