#include "support/files.h"

#include "support/gif_writer.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <limits>

namespace pelk::test {

QImage photoLike(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB888);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const int noise = int(random.bounded(17)) - 8;
            const bool edge = ((x / 16) + (y / 12)) % 4 == 0;
            int r = x * 255 / qMax(1, width - 1) + noise;
            int g = y * 255 / qMax(1, height - 1) - noise;
            int b = edge ? 200 : 60 + ((x ^ y) & 15);
            line[3 * x] = uchar(qBound(0, r, 255));
            line[3 * x + 1] = uchar(qBound(0, g, 255));
            line[3 * x + 2] = uchar(qBound(0, b, 255));
        }
    }
    return image;
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

void writePicture(const QString& path, const QImage& picture, const char* format, int quality)
{
    if (qstricmp(format, "GIF") == 0) {
        writeBytes(path, makeGif(picture));
        return;
    }
    if (!picture.save(path, format, quality))
        qFatal("cannot write picture %s", qPrintable(path));
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QImage overWhite(const QImage& picture)
{
    QImage shown(picture.size(), QImage::Format_RGB32);
    shown.fill(Qt::white);
    QPainter(&shown).drawImage(0, 0, picture);
    return shown;
}

int largestDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return 256;
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    int largest = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int i = 0; i < x.width(); ++i)
            largest = std::max({largest, std::abs(qRed(p[i]) - qRed(q[i])), std::abs(qGreen(p[i]) - qGreen(q[i])),
                                std::abs(qBlue(p[i]) - qBlue(q[i]))});
    }
    return largest;
}

QImage djpeg(const QString& jpeg)
{
    QProcess process;
    process.start(QStringLiteral("djpeg"), {QStringLiteral("-pnm"), jpeg});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return QImage::fromData(process.readAllStandardOutput(), "PPM");
}

double psnr(const QImage& a, const QImage& b)
{
    // Read pixel by pixel, not converted: Qt converts large pictures on its thread pool,
    // whose hand-overs ThreadSanitizer cannot see, and the tests run under it.
    if (a.size() != b.size() || a.isNull())
        return 0;
    double sum = 0;
    for (int row = 0; row < a.height(); ++row) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, row), q = b.pixel(x, row);
            for (const int shift : {16, 8, 0}) {
                const double d = double((p >> shift) & 0xff) - double((q >> shift) & 0xff);
                sum += d * d;
            }
        }
    }
    if (sum == 0)
        return std::numeric_limits<double>::infinity();
    const double mse = sum / (3.0 * a.width() * a.height());
    return 10 * std::log10(255.0 * 255.0 / mse);
}

WorkingDirectory::WorkingDirectory(const QString& path) : previous_(QDir::currentPath())
{
    if (!QDir::setCurrent(path))
        qFatal("cannot enter %s", qPrintable(path));
}

WorkingDirectory::~WorkingDirectory() { QDir::setCurrent(previous_); }

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace pelk::test
