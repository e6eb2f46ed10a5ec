// Where the time of a drop and a press goes, step by step, for one file.
#include "breakdown.h"

#include "stats.h"

#include "platform/real/jpeg/libjpeg_encoder.h"
#include "platform/real/picture_service.h"
#include "view/main_window.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <cstdio>
#include <functional>

namespace pelk::bench {

void timeThrice(const char* what, const std::function<void()>& f)
{
    std::vector<double> v;
    for (int i = 0; i < 3; ++i) {
        const Clock::time_point t0 = Clock::now();
        f();
        v.push_back(seconds(t0, Clock::now()));
    }
    std::printf("  %-48s %s\n", what, qPrintable(ms(summarise(v))));
    std::fflush(stdout);
}

namespace {

void printStep(const char* what, const std::vector<double>& times)
{
    std::printf("  %-48s %s\n", what, qPrintable(ms(summarise(times))));
}

void encodeSteps(const QString& path)
{
    LibjpegEncoder encoder;
    QByteArray out = QFile::encodeName(QDir::currentPath() + QStringLiteral("/breakdown.jpg"));
    timeThrice("encoder, baseline q75", [&] { encoder.SavetoJPEG(QFile::encodeName(path), out, 75, false); });
    timeThrice("encoder, progressive q75", [&] { encoder.SavetoJPEG(QFile::encodeName(path), out, 75, true); });
}

// The drop's share, the background's rest, and the press's write, one drop after another.
void bitmapSteps(RealPictureService& pictures, const QString& path, const QImage& picture)
{
    const QString out = QDir::currentPath() + QStringLiteral("/breakdown.bmp");
    timeThrice("bitmap save", [&] { pictures.saveBitmap(picture, out); });
    const QSize box(248, 228);
    QImage shown;
    std::vector<double> first, rest, write;
    for (int i = 0; i < 3; ++i) {
        shown = QImage();
        const Clock::time_point t0 = Clock::now();
        shown = pictures.loadShownFirst(path, box);
        const Clock::time_point t1 = Clock::now();
        pictures.waitUntilIdle();
        const Clock::time_point t2 = Clock::now();
        pictures.saveBitmap(shown, out);
        first.push_back(seconds(t0, t1));
        rest.push_back(seconds(t1, t2));
        write.push_back(seconds(t2, Clock::now()));
    }
    printStep("shown first (reduced decode)", first);
    printStep("the background's rest after it", rest);
    printStep("bitmap made ahead: write and sync", write);
    std::printf("  shown %dx%d\n", shown.width(), shown.height());
    timeThrice("load for display of the bitmap", [&] { pictures.loadForDisplay(out, QSize(248, 165)); });
}

}  // namespace

int breakdown(const QString& path)
{
    RealPictureService pictures;
    QImage picture;
    timeThrice("picture service load", [&] {
        picture = QImage();
        picture = pictures.load(path);
    });
    timeThrice("QImageReader read", [&] {
        picture = QImage();
        picture = QImageReader(path).read();
    });
    timeThrice("load for display 248x165", [&] { pictures.loadForDisplay(path, QSize(248, 165)); });
    std::printf("  format %d, %dx%d\n", int(picture.format()), picture.width(), picture.height());
    PictureView view;
    view.resize(252, 169);
    timeThrice("preview rescale (PictureView)", [&] {
        view.setPicture(QImage());
        view.setPicture(picture);
    });
    if (path.endsWith(QStringLiteral(".bmp")))
        encodeSteps(path);
    else
        bitmapSteps(pictures, path, picture);
    pressBreakdown(path, picture);
    return 0;
}

}  // namespace pelk::bench
