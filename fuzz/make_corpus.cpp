// Writes the seed corpora of the fuzz targets: valid and broken settings files, number
// texts, and bitmaps, JPEGs and GIFs (with the picture target's two leading bytes).
//   make_corpus OUTPUT_FOLDER     -> OUTPUT_FOLDER/{settings,numbers,picture}/
#include "support/files.h"
#include "support/gif_writer.h"
#ifdef PELK_HAVE_IMAGE_BMP
#include "support/image_bmp.h"
#endif

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <cstdio>

using namespace pelk::test;

namespace {

QString out;

void seed(const char* target, const QString& name, const QByteArray& bytes)
{
    const QString dir = out + u'/' + QString::fromLatin1(target);
    QDir().mkpath(dir);
    writeBytes(dir + u'/' + name, bytes);
}

// The picture target's input: selector (extension, progressive bit), quality, file.
enum Ext : char { Bmp = 0, Jpg = 1, Gif = 2 };
void picture(const QString& name, Ext ext, const QByteArray& file, bool progressive = false, int quality = 75)
{
    QByteArray input;
    input += char(ext | (progressive ? 0x80 : 0));
    input += char(quality);
    seed("picture", name, input + file);
}

QByteArray encoded(const QImage& image, const char* format, int quality = 75, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        qFatal("cannot encode %s", format);
    return bytes;
}

// The JPEG with an EXIF block saying "turn a quarter to the right" (orientation 6).
QByteArray withExifOrientation(const QByteArray& jpeg, quint16 orientation)
{
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    tiff += QByteArray("\x01\0", 2);                    // one entry
    tiff += QByteArray("\x12\x01\x03\0\x01\0\0\0", 8);  // 0x0112 SHORT x1
    tiff += char(orientation & 0xff);
    tiff += char(orientation >> 8);
    tiff += QByteArray(2, '\0');
    tiff += QByteArray(4, '\0');  // no next IFD
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray app1("\xFF\xE1", 2);
    const int length = int(body.size()) + 2;
    app1 += char(length >> 8);
    app1 += char(length & 0xff);
    app1 += body;
    return jpeg.left(2) + app1 + jpeg.mid(2);
}

QByteArray flipped(QByteArray bytes, quint32 seed, int count)
{
    QRandomGenerator random(seed);
    for (int i = 0; i < count && !bytes.isEmpty(); ++i)
        bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
    return bytes;
}

QImage withTransparency(const QImage& image)
{
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QPainter painter(&argb);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(0, 0, argb.width() / 3, argb.height(), QColor(255, 0, 0, 0));
    painter.fillRect(argb.width() / 3, 0, argb.width() / 3, argb.height() / 2, QColor(0, 0, 255, 128));
    return argb;
}

void settingsSeeds()
{
    const std::pair<const char*, QByteArray> files[] = {
        {"example", QByteArray::fromHex("37350D0A2030200D0A2031200D0A")},
        {"saved-empty-quality", "\r\n 1 \r\n 0 \r\n"},
        {"grayed", "07\r\n 2 \r\n 2 \r\n"},
        {"no-line-ends", "75\r\n 1 \r\n 1 "},
        {"lf-only", "40\n1\n0\n"},
        {"cr-only", "40\r1\r2\r"},
        {"one-line", "75\r\n"},
        {"two-lines", "75\r\n 1 \r\n"},
        {"empty", ""},
        {"blank-lines", "\r\n\r\n\r\n"},
        {"too-long-quality", "150\r\n 0 \r\n 0 \r\n"},
        {"negative-quality", "-5\r\n 0 \r\n 0 \r\n"},
        {"fraction", "12.75\r\n 1 \r\n 0 \r\n"},
        {"text-quality", "abc\r\n 0 \r\n 1 \r\n"},
        {"check-out-of-range", "50\r\n 3 \r\n 1 \r\n"},
        {"check-negative", "50\r\n-1 \r\n 1 \r\n"},
        {"check-overflow", "50\r\n 40000 \r\n 1 \r\n"},
        {"check-fraction", "50\r\n 1.5 \r\n 0.4 \r\n"},
        {"bad-third", "50\r\n 1 \r\n x \r\n"},
        {"fourth-line", "50\r\n 1 \r\n 1 \r\n 99 \r\n"},
        {"huge-number", QByteArray(400, '9') + "\r\n 0 \r\n 0 \r\n"},
        {"tiny-fraction", "0." + QByteArray(400, '0') + "1\r\n 0 \r\n 0 \r\n"},
        {"long-line", QByteArray(5000, '7') + "\r\n 0 \r\n 0 \r\n"},
        {"shift-jis", "\x82\x50\x82\x4f\r\n 1 \r\n 0 \r\n"},
        {"nul-bytes",
         QByteArray("7\0"
                    "5\r\n\0 1\r\n 0 \r\n",
                    14)},
    };
    for (const auto& [name, bytes] : files)
        seed("settings", QString::fromLatin1(name), bytes);
}

void numberSeeds()
{
    const char* const texts[] = {
        "75",
        " 1 ",
        "-5",
        "+12",
        "0",
        "00",
        "12.5",
        "-0.5",
        ".5",
        "5.",
        ".",
        "-",
        "+",
        "",
        "  \t 42  ",
        "4 2",
        "1e3",
        "0x10",
        "32767",
        "32768",
        "-32768",
        "-32769",
        "32767.5",
        "-32768.5",
        "2.5",
        "3.5",
        "255",
        "256",
        "True",
        " false ",
        "TRUE",
        "yes",
        "１２",
        "9999999999999999999999",
        "1.7976931348623157e308",
        "7\xe3\x80\x80",
    };
    int i = 0;
    for (const char* text : texts)
        seed("numbers", QStringLiteral("utf8-%1").arg(i++, 2, 10, QChar(u'0')), QByteArray(1, '\0') + text);
    seed("numbers", QStringLiteral("huge"), QByteArray(1, '\0') + QByteArray(400, '9'));
    seed("numbers", QStringLiteral("tiny"), QByteArray(1, '\0') + "0." + QByteArray(400, '0') + "1");
    seed("numbers", QStringLiteral("many-zeros"), QByteArray(1, '\0') + QByteArray(400, '0') + "1.0");
    // UTF-16: "12" followed by an unpaired surrogate, and an ideographic space.
    seed("numbers", QStringLiteral("utf16-surrogate"),
         QByteArray("\x01"
                    "1\0"
                    "2\0"
                    "\x00\xd8",
                    7));
    seed("numbers", QStringLiteral("utf16-wide-space"),
         QByteArray("\x01"
                    "5\0"
                    "\x00\x30",
                    5));
}

void pictureSeeds()
{
    const QImage photo = photoLike(40, 30, 7);
    const QImage large = photoLike(320, 260, 3);  // larger than a preview box: decoded reduced

    // Bitmaps through Qt's writer.
    const std::pair<const char*, QImage> qtBitmaps[] = {
        {"bmp-rgb32", photo.convertToFormat(QImage::Format_RGB32)},
        {"bmp-indexed8", photo.convertToFormat(QImage::Format_Indexed8)},
        {"bmp-mono", photo.convertToFormat(QImage::Format_Mono)},
        {"bmp-gray8", photo.convertToFormat(QImage::Format_Grayscale8)},
        {"bmp-argb32", withTransparency(photo)},
        {"bmp-1x1", QImage(1, 1, QImage::Format_RGB32)},
    };
    for (const auto& [name, image] : qtBitmaps) {
        const QByteArray bmp = encoded(image, "BMP");
        picture(QString::fromLatin1(name), Bmp, bmp);
        picture(QString::fromLatin1(name) + QStringLiteral("-progressive-q0"), Bmp, bmp, true, 0);
        picture(QString::fromLatin1(name) + QStringLiteral("-truncated"), Bmp, bmp.left(bmp.size() / 2));
        picture(QString::fromLatin1(name) + QStringLiteral("-flipped"), Bmp, flipped(bmp, 11, 6), false, 99);
    }
#ifdef PELK_HAVE_IMAGE_BMP
    // The layouts Qt's writer never produces: RLE, 16-bit, bit fields, V4/V5 headers.
    const BmpLayout layouts[] = {
        BmpLayout::Palette1,    BmpLayout::Palette4, BmpLayout::Palette8,    BmpLayout::Gray8, BmpLayout::Rle4,
        BmpLayout::Rle8,        BmpLayout::Rgb555,   BmpLayout::Rgb565,      BmpLayout::Rgb24, BmpLayout::Rgb32,
        BmpLayout::Bitfields32, BmpLayout::Alpha32,  BmpLayout::ZeroAlpha32,
    };
    int n = 0;
    for (BmpLayout layout : layouts) {
        const QByteArray bmp = makeBmp(photoLike(23, 17, 5), layout).bytes;
        const QString name = QStringLiteral("layout-%1").arg(n++, 2, 10, QChar(u'0'));
        picture(name, Bmp, bmp);
        picture(name + QStringLiteral("-top-down"), Bmp, makeBmp(photoLike(23, 17, 5), layout, {true, 0}).bytes, true);
        picture(name + QStringLiteral("-truncated"), Bmp, bmp.left(bmp.size() * 2 / 3));
        picture(name + QStringLiteral("-flipped"), Bmp, flipped(bmp, 13 + n, 4));
    }
    picture(QStringLiteral("bmp-header-only"), Bmp, bmpHeaderOnly(1000, 800));
    picture(QStringLiteral("bmp-header-zero"), Bmp, bmpHeaderOnly(0, 0));
    picture(QStringLiteral("bmp-header-negative-width"), Bmp, bmpHeaderOnly(-40, 30));
    picture(QStringLiteral("bmp-header-huge"), Bmp, bmpHeaderOnly(100000, 100000));
#endif

    // JPEGs.
    const QByteArray jpeg = encoded(photo, "JPG", 80);
    const std::pair<const char*, QByteArray> jpegs[] = {
        {"jpg-baseline", jpeg},
        {"jpg-progressive", encoded(photo, "JPG", 60, true)},
        {"jpg-gray", encoded(photo.convertToFormat(QImage::Format_Grayscale8), "JPG", 90)},
        {"jpg-large", encoded(large, "JPG", 30)},
        {"jpg-large-rotated", withExifOrientation(encoded(large, "JPG", 30), 6)},
        {"jpg-exif-mirrored", withExifOrientation(jpeg, 2)},
        {"jpg-truncated", jpeg.left(jpeg.size() / 2)},
        {"jpg-header-only", jpeg.left(200)},
        {"jpg-flipped", flipped(jpeg, 17, 8)},
    };
    for (const auto& [name, bytes] : jpegs)
        picture(QString::fromLatin1(name), Jpg, bytes);

    // GIFs.
    const QImage small = photoLike(30, 20, 9);
    GifFrame second{photoLike(12, 10, 4), 5, 4};
    second.localPalette = true;
    GifFrame transparent{small};
    transparent.transparentIndex = 0;
    GifFrame interlaced{small};
    interlaced.interlaced = true;
    const QByteArray gif = makeGif(small);
    const std::pair<const char*, QByteArray> gifs[] = {
        {"gif-plain", gif},
        {"gif-transparent", makeGif({transparent})},
        {"gif-interlaced", makeGif({interlaced})},
        {"gif-two-frames", makeGif({GifFrame{small}, second})},
        {"gif-large-screen", makeGif({GifFrame{small}}, QSize(900, 700))},
        {"gif-truncated", gif.left(gif.size() / 2)},
        {"gif-flipped", flipped(gif, 19, 6)},
    };
    for (const auto& [name, bytes] : gifs)
        picture(QString::fromLatin1(name), Gif, bytes);

    // Contents that do not match the extension, an empty file and noise.
    picture(QStringLiteral("jpeg-named-bmp"), Bmp, jpeg);
    picture(QStringLiteral("gif-named-bmp"), Bmp, gif);
    picture(QStringLiteral("bmp-named-jpg"), Jpg, encoded(photo, "BMP"));
    picture(QStringLiteral("png-named-gif"), Gif, encoded(photo, "PNG"));
    picture(QStringLiteral("empty-bmp"), Bmp, {});
    picture(QStringLiteral("noise-jpg"), Jpg, flipped(QByteArray(300, '\0'), 23, 300));
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);  // QPainter and the image plugins
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus OUTPUT_FOLDER\n");
        return 2;
    }
    out = QString::fromLocal8Bit(argv[1]);
    QDir(out).removeRecursively();
    settingsSeeds();
    numberSeeds();
    pictureSeeds();
    return 0;
}
