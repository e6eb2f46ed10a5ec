#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

// Real files for tests: pictures with content that shows when pixels go wrong.
namespace pelk::test {

// A picture with gradients, edges and some noise, fixed by the seed.
QImage photoLike(int width, int height, quint32 seed = 1);

// Writes bytes or a picture (in the format named, e.g. "BMP", "JPG", "GIF", "ICO") to the path;
// fails the test (QFAIL-style, via qFatal) when it cannot.
void writeBytes(const QString& path, const QByteArray& bytes);
void writePicture(const QString& path, const QImage& picture, const char* format, int quality = 90);
QByteArray readBytes(const QString& path);
// Every name in the folder, hidden ones too (a left-over temporary file shows), sorted.
QStringList entries(const QString& folder);

// A picture as the program shows transparency: composed over white.
QImage overWhite(const QImage& picture);
// The largest difference of one channel of one pixel; 256 when the sizes differ.
int largestDifference(const QImage& a, const QImage& b);
// libjpeg-turbo's own decode of a JPEG file, to check ours against; null when djpeg fails.
QImage djpeg(const QString& jpeg);

// Peak signal-to-noise ratio of b against a over their red, green and blue; inf when equal.
double psnr(const QImage& a, const QImage& b);

// Runs the rest of a test with this folder as the current working directory.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const QString& path);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    QString previous_;
};

}  // namespace pelk::test
