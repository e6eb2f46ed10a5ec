#include "bench_images.h"

#include "support/gif_writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#include <cmath>
#include <functional>
#include <vector>

namespace pelk::bench {
namespace {

quint32 mix(quint32 v)
{
    v ^= v >> 16;
    v *= 0x7feb352dU;
    v ^= v >> 15;
    v *= 0x846ca68bU;
    v ^= v >> 16;
    return v;
}

int clampByte(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

void writeOnce(const QString& path, const std::function<bool(QIODevice&)>& write)
{
    if (QFileInfo::exists(path))
        return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !write(file) || !file.commit())
        qFatal("cannot write %s", qPrintable(path));
}

}  // namespace

QImage photographic(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB888);
    if (image.isNull())
        qFatal("cannot allocate a %dx%d picture", width, height);
    // Texture as sums of a few waves, kept per column and per row so a pixel costs little.
    std::vector<int> columnWave(static_cast<size_t>(width)), rowWave(static_cast<size_t>(height));
    const double f1 = 0.05 + (seed % 7) * 0.01, f2 = 0.31, f3 = 0.013;
    for (int x = 0; x < width; ++x)
        columnWave[size_t(x)] = int(18 * std::sin(x * f1) + 9 * std::sin(x * f2) + 30 * std::sin(x * f3));
    for (int y = 0; y < height; ++y)
        rowWave[size_t(y)] = int(18 * std::sin(y * f1 * 1.3) + 9 * std::sin(y * f2 * 0.7) + 30 * std::cos(y * f3));

    quint32 noiseState = mix(seed) | 1;
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        const int g = y * 200 / std::max(1, height - 1);
        for (int x = 0; x < width; ++x) {
            // Slanted cells: each has its own tint, their borders are hard edges.
            const int cx = (x + (y * 3) / 7) / 97;
            const int cy = (y + x / 11) / 89;
            const quint32 cell = mix(seed ^ quint32(cx * 7919 + cy * 104729));
            const int tint = int(cell & 63) - 32;
            const int hue = int((cell >> 8) % 3);
            noiseState ^= noiseState << 13;
            noiseState ^= noiseState >> 17;
            noiseState ^= noiseState << 5;
            const int noise = int(noiseState % 25) - 12;
            const int wave = columnWave[size_t(x)] + rowWave[size_t(y)];
            const int r = x * 220 / std::max(1, width - 1) + (hue == 0 ? tint : tint / 3) + wave / 2;
            const int gg = g + (hue == 1 ? tint : -tint / 4) + wave / 3;
            const int b = 90 + (hue == 2 ? tint * 2 : tint / 2) + wave + ((x ^ y) & 7);
            line[3 * x] = uchar(clampByte(r + noise));
            line[3 * x + 1] = uchar(clampByte(gg + noise));
            line[3 * x + 2] = uchar(clampByte(b + noise / 2));
        }
    }
    return image;
}

SampleFiles makeSamples(const QString& folder, const QString& name, int width, int height, bool withGif)
{
    SampleFiles files;
    files.bmp = folder + QStringLiteral("/bmp/") + name + QStringLiteral(".bmp");
    files.jpg = folder + QStringLiteral("/jpg/") + name + QStringLiteral(".jpg");
    if (withGif)
        files.gif = folder + QStringLiteral("/gif/") + name + QStringLiteral(".gif");
    if (QFileInfo::exists(files.bmp) && QFileInfo::exists(files.jpg) && (!withGif || QFileInfo::exists(files.gif)))
        return files;

    const QImage picture = photographic(width, height, quint32(width) * 31 + quint32(height));
    writeOnce(files.bmp, [&](QIODevice& d) { return picture.save(&d, "BMP"); });
    writeOnce(files.jpg, [&](QIODevice& d) {
        QImageWriter writer(&d, "jpeg");
        writer.setQuality(90);
        return writer.write(picture);
    });
    if (withGif)
        writeOnce(files.gif, [&](QIODevice& d) {
            const QByteArray bytes = pelk::test::makeGif(picture);
            return d.write(bytes) == bytes.size();
        });
    return files;
}

}  // namespace pelk::bench
