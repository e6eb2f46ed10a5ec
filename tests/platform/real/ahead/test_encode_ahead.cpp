// The encode done ahead of a press: the press writes the prepared bytes only when the
// source file and the arguments are still those the job used, and otherwise encodes
// then; either way the file is the one a press without any job writes. Nothing is ever
// written before the press, and a job stopped by a new request, a cancel or the end of
// the encoder leaves nothing behind.
#include "platform/real/ahead/written_previews.h"
#include "platform/real/jpeg/libjpeg_encoder.h"
#include "platform/real/picture_service.h"
#include "support/failures.h"
#include "support/files.h"
#include "support/image_bmp.h"
#include "window/failure.h"

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace pelk;
using namespace pelk::test;

namespace {

// A file left alone for a while (file times advance in ticks): a version the encoder can
// tell from later ones.
void writeSettledBmp(const QString& path, const QImage& picture)
{
    writeBytes(path, makeBmp(picture, BmpLayout::Rgb24).bytes);
    QTest::qWait(150);
}

QImage decoded(const QString& path)
{
    QImageReader reader(path);
    reader.setFormat("jpeg");
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

// What a press writes when nothing was prepared: an encoder of its own, to a file of its own.
QByteArray pressWithoutJob(const QString& source, const QString& folder, std::uint8_t quality, bool progressive)
{
    LibjpegEncoder fresh;
    QByteArray destination = QFile::encodeName(folder + QStringLiteral("/reference.jpg"));
    if (fresh.SavetoJPEG(QFile::encodeName(source), destination, quality, progressive) != 0)
        return {};
    const QByteArray bytes = readBytes(QFile::decodeName(destination));
    QFile::remove(QFile::decodeName(destination));
    return bytes;
}

}  // namespace

class TestEncodeAhead : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString path(const char* name) const { return dir_->filePath(QString::fromLatin1(name)); }

private slots:
    void init() { dir_ = std::make_unique<QTemporaryDir>(); }

    // What changes between the job and the press decides whether the job's bytes are
    // written; the file written is always the press-time result.
    void thePressWritesThePressTimeResult_data()
    {
        QTest::addColumn<QString>("change");  // between the job and the press
        QTest::addColumn<bool>("progressive");
        QTest::addColumn<bool>("fromPrepared");
        for (const bool progressive : {false, true}) {
            const char* mode = progressive ? "progressive" : "baseline";
            QTest::addRow("nothing, %s", mode) << "none" << progressive << true;
            QTest::addRow("source rewritten, %s", mode) << "source" << progressive << false;
            QTest::addRow("quality, %s", mode) << "quality" << progressive << false;
            QTest::addRow("progressive option, %s", mode) << "option" << progressive << false;
        }
    }
    void thePressWritesThePressTimeResult()
    {
        QFETCH(QString, change);
        QFETCH(bool, progressive);
        QFETCH(bool, fromPrepared);
        const QString source = path("photo.bmp");
        const QImage before = photoLike(320, 240, 1);
        const QImage after = photoLike(320, 240, 2).mirrored(true, false);
        writeSettledBmp(source, before);

        LibjpegEncoder encoder;
        encoder.prepare(QFile::encodeName(source), 75, progressive, 0);
        encoder.waitUntilIdle();
        QCOMPARE(entries(dir_->path()), QStringList{"photo.bmp"});  // nothing written ahead

        std::uint8_t quality = 75;
        bool option = progressive;
        if (change == QLatin1String("source"))
            writeSettledBmp(source, after);
        else if (change == QLatin1String("quality"))
            quality = 40;
        else if (change == QLatin1String("option"))
            option = !progressive;
        QByteArray destination = QFile::encodeName(path("photo.jpg"));
        QCOMPARE(encoder.SavetoJPEG(QFile::encodeName(source), destination, quality, option), std::int16_t(0));
        QCOMPARE(encoder.pressesFromPrepared(), fromPrepared ? 1 : 0);

        const QByteArray written = readBytes(path("photo.jpg"));
        QCOMPARE(written, pressWithoutJob(source, dir_->path(), quality, option));
        const QImage shown = change == QLatin1String("source") ? after : before;
        const QImage result = decoded(path("photo.jpg"));
        QCOMPARE(result.size(), shown.size());
        QVERIFY2(psnr(shown, result) > 25, qPrintable(QString::number(psnr(shown, result))));
        if (change == QLatin1String("source"))
            QVERIFY(psnr(before, result) < 20);  // not the picture the job read
        QCOMPARE(entries(dir_->path()), (QStringList{"photo.bmp", "photo.jpg"}));
    }

    // The output's preview is made ahead from the bytes written, and is the picture the
    // picture service would decode from the file.
    void theOutputPreviewIsMadeAhead_data()
    {
        QTest::addColumn<bool>("progressive");
        QTest::newRow("baseline") << false;
        QTest::newRow("progressive") << true;
    }
    void theOutputPreviewIsMadeAhead()
    {
        QFETCH(bool, progressive);
        const QString source = path("photo.bmp");
        writeSettledBmp(source, photoLike(1600, 1200, 6));
        const QSize box(257, 228);
        WrittenPreviews previews;
        LibjpegEncoder encoder(&previews);
        encoder.prepare(QFile::encodeName(source), 75, progressive, 0, box);
        QByteArray destination = QFile::encodeName(path("photo.jpg"));
        QCOMPARE(encoder.SavetoJPEG(QFile::encodeName(source), destination, 75, progressive), std::int16_t(0));
        const std::optional<QImage> preview = previews.take(path("photo.jpg"), box);
        QVERIFY(preview.has_value());
        QCOMPARE(*preview, RealPictureService().loadForDisplay(path("photo.jpg"), box));
        QVERIFY(preview->width() >= box.width() && preview->height() >= box.height());
        QVERIFY(!previews.take(path("photo.jpg"), box));  // handed out once
    }

    // The picture service takes a preview put for the file only while the file holds the
    // very bytes it was made from, and only for the box it was made for.
    void thePictureServiceTakesAPreviewOnlyForTheSameBytes_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("taken");
        QTest::newRow("none") << "none" << true;
        QTest::newRow("rewritten, same length") << "rewritten" << false;
        QTest::newRow("another box") << "box" << false;
        QTest::newRow("another file") << "file" << false;
    }
    void thePictureServiceTakesAPreviewOnlyForTheSameBytes()
    {
        QFETCH(QString, change);
        QFETCH(bool, taken);
        const QString file = path("out.jpg");
        writePicture(file, photoLike(400, 300, 7), "JPG", 80);
        writePicture(path("other.jpg"), photoLike(400, 300, 8), "JPG", 80);
        QImage marker(300, 260, QImage::Format_RGB32);
        marker.fill(Qt::red);
        const QSize box(257, 228);
        WrittenPreviews previews;
        previews.put(file, readBytes(file), box, marker);
        QByteArray bytes = readBytes(file);
        if (change == QLatin1String("rewritten")) {
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 1);
            writeBytes(file, bytes);
        }
        const QString shown = change == QLatin1String("file") ? path("other.jpg") : file;
        const QSize asked = change == QLatin1String("box") ? QSize(100, 80) : box;
        RealPictureService pictures(&previews);
        QImage result;  // stays null where the flipped bit makes the file undecodable
        failureOf([&] { result = pictures.loadForDisplay(shown, asked); });
        QCOMPARE(result == marker, taken);
    }

    // A newer request supersedes the older one; a press for it waits for its job (even
    // one still resting) rather than encoding once more.
    void theNewestRequestIsTheOneKept()
    {
        const QString source = path("photo.bmp");
        writeSettledBmp(source, photoLike(640, 480, 3));
        LibjpegEncoder encoder;
        encoder.prepare(QFile::encodeName(source), 30, false, 0);
        encoder.prepare(QFile::encodeName(source), 60, true, 0);
        encoder.prepare(QFile::encodeName(source), 90, false, 60'000);  // would rest a minute
        QByteArray destination = QFile::encodeName(path("photo.jpg"));
        QCOMPARE(encoder.SavetoJPEG(QFile::encodeName(source), destination, 90, false), std::int16_t(0));
        QCOMPARE(encoder.pressesFromPrepared(), 1);
        QCOMPARE(readBytes(path("photo.jpg")), pressWithoutJob(source, dir_->path(), 90, false));

        // The result was taken: a second press encodes again, to the same bytes.
        QFile::remove(path("photo.jpg"));
        QCOMPARE(encoder.SavetoJPEG(QFile::encodeName(source), destination, 90, false), std::int16_t(0));
        QCOMPARE(encoder.pressesFromPrepared(), 1);
        QCOMPARE(readBytes(path("photo.jpg")), pressWithoutJob(source, dir_->path(), 90, false));
    }

    void aCancelDropsThePreparedBytes()
    {
        const QString source = path("photo.bmp");
        writeSettledBmp(source, photoLike(320, 240, 4));
        LibjpegEncoder encoder;
        encoder.prepare(QFile::encodeName(source), 75, false, 0);
        encoder.waitUntilIdle();
        encoder.cancelPrepared();
        QByteArray destination = QFile::encodeName(path("photo.jpg"));
        QCOMPARE(encoder.SavetoJPEG(QFile::encodeName(source), destination, 75, false), std::int16_t(0));
        QCOMPARE(encoder.pressesFromPrepared(), 0);
        QCOMPARE(readBytes(path("photo.jpg")), pressWithoutJob(source, dir_->path(), 75, false));
    }

    // A job that fails is never shown: the press meets the failure as it would without it.
    void aFailedJobLeavesThePressAsItWas_data()
    {
        QTest::addColumn<QByteArray>("sourceBytes");  // null: no file
        QTest::addColumn<int>("result");
        QTest::newRow("missing source") << QByteArray() << 1;
        QTest::newRow("not a picture") << QByteArray("no picture here") << 1;
        QTest::newRow("cut short") << makeBmp(photoLike(64, 64), BmpLayout::Rgb24).bytes.left(2000) << 1;
    }
    void aFailedJobLeavesThePressAsItWas()
    {
        QFETCH(QByteArray, sourceBytes);
        QFETCH(int, result);
        const QString source = path("photo.bmp");
        if (!sourceBytes.isNull())
            writeBytes(source, sourceBytes);
        const QStringList before = entries(dir_->path());
        LibjpegEncoder encoder;
        encoder.prepare(QFile::encodeName(source), 75, false, 0);
        encoder.waitUntilIdle();
        QByteArray destination = QFile::encodeName(path("photo.jpg"));
        QCOMPARE(int(encoder.SavetoJPEG(QFile::encodeName(source), destination, 75, false)), result);
        QCOMPARE(encoder.pressesFromPrepared(), 0);
        QCOMPARE(entries(dir_->path()), before);
    }

    // The window closes while a large job runs: the job stops, nothing is written.
    void theEndOfTheEncoderStopsItsJob()
    {
        const QString source = path("large.bmp");
        writeSettledBmp(source, photoLike(3000, 2000, 5));
        for (int i = 0; i < 3; ++i) {
            auto encoder = std::make_unique<LibjpegEncoder>();
            encoder->prepare(QFile::encodeName(source), 75, i == 1, 0);
            if (i == 2)
                QTest::qWait(50);  // well inside the encode
            encoder.reset();
        }
        QCOMPARE(entries(dir_->path()), QStringList{"large.bmp"});
    }
};

QTEST_GUILESS_MAIN(TestEncodeAhead)
#include "test_encode_ahead.moc"
