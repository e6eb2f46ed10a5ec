// A picture file through the real picture service (load, loadForDisplay, saveBitmap) and
// the real JPEG encoder. Input: one selector byte (bits 0-1 the extension the file gets:
// bmp, jpg, gif; bit 7 progressive), one quality byte, then the file's bytes.
#include "harness.h"

#include "platform/real/bmp/bmp_header.h"
#include "platform/real/jpeg/libjpeg_encoder.h"
#include "platform/real/picture_service.h"
#include "window/failure.h"

#include <QCoreApplication>
#include <QFile>
#include <QImageReader>

using namespace pelk;
using namespace pelk::fuzz;

namespace {

// The real service accepts 120 megapixels; decoding that many at every input would make
// the fuzzer crawl, so the harness leaves out files that declare more than this.
constexpr qint64 maxFuzzPixels = 1'000'000;
// And Qt's own allocation cap, for readers that cannot tell the size before decoding.
constexpr int allocationLimitMiB = 64;

const QSize displayBox(257, 228);  // a preview box in pixels

qint64 pixels(QSize size) { return size.isValid() ? qint64(size.width()) * size.height() : 0; }

// The larger of what the file declares to a reader that guesses its format and to the
// program's own bitmap reader.
qint64 declaredPixels(const QString& path, QByteArrayView content)
{
    QImageReader guessing(path);
    const BmpParse bitmap = parseBmp(content);
    const qint64 bitmapPixels = !bitmap.problem ? bitmap.layout.width * bitmap.layout.height : 0;
    return qMax(pixels(guessing.size()), bitmapPixels);
}

QImage readAs(const QString& path, const char* format)
{
    QImageReader reader(path, format);
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    return reader.read();
}

// A reader that leaves rows as they were allocated shows garbage, often beyond the palette,
// which no saved file can reproduce (Qt's BMP reader did: fuzz/known/). The comparison
// below skips such pictures so the fuzzer can go on; the program's own bitmap reader
// always gives a full palette, so this never hides a bitmap.
bool indexBeyondPalette(const QImage& picture)
{
    if (picture.format() != QImage::Format_Indexed8)
        return false;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.constScanLine(y)[x] >= picture.colorCount())
                return true;
    return false;
}

// `shown` is the size of the picture the service loads from the same file (invalid when it
// refuses the file): what the encoder writes must be that picture.
void checkEncoder(const QString& bmpPath, QSize shown, std::uint8_t quality, bool progressive)
{
    const QString jpegPath = scratchDir() + QStringLiteral("/out.jpg");
    QFile::remove(jpegPath);

    LibjpegEncoder encoder;
    QByteArray destination = QFile::encodeName(jpegPath);
    const std::int16_t result = encoder.SavetoJPEG(QFile::encodeName(bmpPath), destination, quality, progressive);
    QImageReader::setAllocationLimit(allocationLimitMiB);  // the encoder may raise it
    if (result != 0) {
        // It may refuse more than the service does (a bitmap cut short), but then it
        // writes nothing.
        if (QFile::exists(jpegPath))
            broken("the encoder failed but left a file");
        return;
    }
    if (!shown.isValid())
        broken("the encoder accepted a file the picture service refuses");
    const QImage jpeg = readAs(jpegPath, "jpeg");
    if (jpeg.isNull())
        broken("the encoder's output is no JPEG");
    if (jpeg.size() != shown)
        broken("the JPEG's size differs from the picture's",
               QStringLiteral("%1x%2, shown %3x%4")
                   .arg(jpeg.width())
                   .arg(jpeg.height())
                   .arg(shown.width())
                   .arg(shown.height()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    silenceQt();
    static QCoreApplication app(*argc, *argv);  // image format plugins are found through it
    scratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    static const char* const extensions[] = {"bmp", "jpg", "gif", "bmp"};
    const QString extension = QString::fromLatin1(extensions[data[0] & 3]);
    const bool progressive = data[0] & 0x80;
    const std::uint8_t quality = data[1];
    const QString source = scratchDir() + QStringLiteral("/source.") + extension;
    writeFile(source, bytes(data + 2, size - 2));
    if (declaredPixels(source, QByteArrayView(data + 2, qsizetype(size - 2))) > maxFuzzPixels)
        return 0;

    static RealPictureService service;
    QImageReader::setAllocationLimit(allocationLimitMiB);

    // Anything but a pelk::Failure escaping here aborts the run: that is a finding.
    QImage picture;
    try {
        picture = service.load(source);
        if (picture.isNull())
            broken("load returned no picture without a failure");
    } catch (const Failure&) {
    }
    try {
        const QImage shown = service.loadForDisplay(source, displayBox);
        if (shown.isNull())
            broken("loadForDisplay returned no picture without a failure");
        // Reduced for the box, but never below it (or below the picture itself).
        if (!picture.isNull()
            && (shown.width() < qMin(displayBox.width(), picture.width())
                || shown.height() < qMin(displayBox.height(), picture.height())))
            broken("loadForDisplay came back smaller than its box");
    } catch (const Failure&) {
    }

    // A GIF's pictures are the size of its screen, which the reader does not tell before.
    if (pixels(picture.size()) > maxFuzzPixels)
        return 0;

    const QString bitmapPath = scratchDir() + QStringLiteral("/out.bmp");
    QFile::remove(bitmapPath);
    if (!picture.isNull()) {
        // Our scratch folder is writable: a loaded picture must save.
        try {
            service.saveBitmap(picture, bitmapPath);
        } catch (const Failure& failure) {
            broken("a loaded picture did not save as a bitmap", failure.detail());
        }
        const QImage back = readAs(bitmapPath, "bmp");
        if (back.isNull() || back.size() != picture.size())
            broken("the saved bitmap does not read back at its size");
        if (!picture.hasAlphaChannel() && !indexBeyondPalette(picture)
            && back.convertToFormat(QImage::Format_RGB32) != picture.convertToFormat(QImage::Format_RGB32))
            broken("the saved bitmap's pixels differ from the picture's");
    }
    // The encoder gets a bitmap source as it is, and otherwise the bitmap just saved.
    if (extension == u"bmp")
        checkEncoder(source, picture.size(), quality, progressive);
    else if (!picture.isNull())
        checkEncoder(bitmapPath, picture.size(), quality, progressive);
    return 0;
}
