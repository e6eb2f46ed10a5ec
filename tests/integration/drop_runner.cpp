// One drop and one press on the window model with the real platform (only the message
// box is a fake), in a process of its own under a memory limit, so that the corpus test
// survives whatever a file does to it. Runs in the current folder (its Pelk.ini).
//   pelk_drop_runner FILE MEMORY_MIB
// Prints what happened as key=value lines; exits 0 when both steps returned.

#include "app/wiring.h"
#include "platform/real/file_service.h"
#include "platform/real/jpeg/libjpeg_encoder.h"
#include "platform/real/picture_service.h"
#include "support/real_platform.h"
#include "window/window_model.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

using namespace pelk;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool addressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool addressSanitizer = true;
#else
constexpr bool addressSanitizer = false;
#endif
#else
constexpr bool addressSanitizer = false;
#endif

void limitMemory(rlim_t mib)
{
    const rlimit noCore{0, 0};
    if (setrlimit(RLIMIT_CORE, &noCore) != 0) {
        std::perror("setrlimit");
        std::exit(2);
    }
    // AddressSanitizer reserves terabytes of address space for its shadow memory, so an
    // address-space limit stops it before main(): the ordinary build enforces the bound.
    if (addressSanitizer)
        return;
    const rlimit memory{mib << 20, mib << 20};
    if (setrlimit(RLIMIT_AS, &memory) != 0) {
        std::perror("setrlimit");
        std::exit(2);
    }
}

void print(const char* key, const QString& value)
{
    QString flat = value;
    flat.replace(u'\n', u' ');
    std::printf("%s=%s\n", key, flat.toUtf8().constData());
    std::fflush(stdout);
}

// The pixels alone, as 0xffRRGGBB rows: two runs that show the same picture print the same.
QString pixelsOf(const QImage& picture)
{
    if (picture.isNull())
        return QStringLiteral("none");
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (int y = 0; y < rgb.height(); ++y)
        hash.addData(QByteArrayView(rgb.constScanLine(y), qsizetype(rgb.width()) * 4));
    return QString::fromLatin1(hash.result().toHex());
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: pelk_drop_runner FILE MEMORY_MIB\n");
        return 2;
    }
    limitMemory(rlim_t(std::strtoul(argv[2], nullptr, 10)));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString file = QString::fromLocal8Bit(argv[1]);

    RealPictureService pictures;
    RealFileService files;
    test::FakeMessageBox messages;
    test::FakeWindowSystem windowSystem;
    LibjpegEncoder encoder;
    Platform platform{pictures, files, messages, windowSystem, encoder};
    WindowModel model;
    connectHandlers(model, platform);
    model.Load();

    model.OLEDragDrop(DropData{true, {file}});
    print("drop", messages.shown.empty() ? QStringLiteral("shown") : QStringLiteral("failed"));
    print("dropMessage", messages.shown.empty() ? QString() : messages.shown.back().text);
    print("source", QStringLiteral("%1x%2").arg(model.Image1.picture().width()).arg(model.Image1.picture().height()));
    print("sourcePixels", pixelsOf(model.Image1.picture()));
    const qsizetype before = qsizetype(messages.shown.size());

    model.Command1.Click();
    QStringList pressMessages;
    for (qsizetype i = before; i < qsizetype(messages.shown.size()); ++i)
        pressMessages << messages.shown[size_t(i)].text;
    print("press", pressMessages.join(u'|'));

    // The output as an independent reader sees it, with the window's pictures let go.
    model.Image1.setPicture(QImage());
    model.Image2.setPicture(QImage());
    const QString output = model.Text1.text();
    print("output", output);
    if (!output.isEmpty() && QFileInfo::exists(output)) {
        QImageReader reader(output);
        const QImage picture = reader.read();
        print("outputDecoded",
              picture.isNull() ? QStringLiteral("no")
                               : QStringLiteral("%1x%2").arg(picture.width()).arg(picture.height()));
        print("outputPixels", pixelsOf(picture));
    }
    print("end", QStringLiteral("ok"));
    return 0;
}
