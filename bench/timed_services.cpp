#include "timed_services.h"

namespace pelk::bench {
namespace {

// Logs the call's time when it ends, also when it ends in a failure.
class Stopwatch {
public:
    Stopwatch(CallLog& log, QString what) : log_(log), what_(std::move(what)) { }
    ~Stopwatch() { log_.push_back({what_, seconds(t0_, Clock::now())}); }
    Stopwatch(const Stopwatch&) = delete;
    Stopwatch& operator=(const Stopwatch&) = delete;

private:
    CallLog& log_;
    QString what_;
    Clock::time_point t0_ = Clock::now();
};

QString boxed(const char* what, QSize box)
{
    return QStringLiteral("%1 (%2x%3)").arg(QLatin1String(what)).arg(box.width()).arg(box.height());
}

}  // namespace

QImage TimedPictures::load(const QString& path)
{
    const Stopwatch watch(log_, QStringLiteral("PictureService::load"));
    return inner_.load(path);
}

QImage TimedPictures::loadForDisplay(const QString& path, QSize box)
{
    const Stopwatch watch(log_, boxed("PictureService::loadForDisplay", box));
    return inner_.loadForDisplay(path, box);
}

QImage TimedPictures::loadShownFirst(const QString& path, QSize box)
{
    const Stopwatch watch(log_, boxed("PictureService::loadShownFirst", box));
    return inner_.loadShownFirst(path, box);
}

void TimedPictures::saveBitmap(const QImage& picture, const QString& path)
{
    const Stopwatch watch(log_, QStringLiteral("PictureService::saveBitmap"));
    inner_.saveBitmap(picture, path);
}

qint64 TimedFiles::length(const QString& path)
{
    const Stopwatch watch(log_, QStringLiteral("FileService::length"));
    return inner_.length(path);
}

void TimedFiles::replace(const QString& path, const QByteArray& bytes)
{
    const Stopwatch watch(log_, QStringLiteral("FileService::replace"));
    inner_.replace(path, bytes);
}

QByteArray TimedFiles::readStart(const QString& path, qsizetype limit)
{
    const Stopwatch watch(log_, QStringLiteral("FileService::readStart"));
    return inner_.readStart(path, limit);
}

std::int16_t TimedEncoder::SavetoJPEG(const QByteArray& sourcePath, QByteArray& destinationPath, std::uint8_t quality,
                                      bool progressive)
{
    const Stopwatch watch(log_, QStringLiteral("JpegEncoder::SavetoJPEG"));
    return inner_.SavetoJPEG(sourcePath, destinationPath, quality, progressive);
}

void TimedEncoder::prepare(const QByteArray& sourcePath, std::uint8_t quality, bool progressive, int restMs,
                           QSize previewBox)
{
    const Stopwatch watch(log_, QStringLiteral("JpegEncoder::prepare"));
    inner_.prepare(sourcePath, quality, progressive, restMs, previewBox);
}

void TimedEncoder::cancelPrepared()
{
    const Stopwatch watch(log_, QStringLiteral("JpegEncoder::cancelPrepared"));
    inner_.cancelPrepared();
}

TimedServices::TimedServices(const Platform& real, CallLog& log)
    : pictures(real.pictures, log), files(real.files, log), encoder(real.encoder, log), messages(real.messages),
      windowSystem(real.windowSystem)
{
}

Platform TimedServices::platform() { return Platform{pictures, files, messages, windowSystem, encoder}; }

}  // namespace pelk::bench
