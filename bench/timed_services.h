#pragma once

#include "stats.h"

#include "platform/services.h"

#include <vector>

// The platform's services with a stopwatch around each call: what a drop or a press asks of
// them, in order, and how long each took. The calls go on to the services given.
namespace pelk::bench {

struct TimedCall {
    QString what;  // "PictureService::load"
    double seconds;
};

using CallLog = std::vector<TimedCall>;

class TimedPictures : public PictureService {
public:
    TimedPictures(PictureService& inner, CallLog& log) : inner_(inner), log_(log) { }
    QImage load(const QString& path) override;
    QImage loadForDisplay(const QString& path, QSize box) override;
    QImage loadShownFirst(const QString& path, QSize box) override;
    void saveBitmap(const QImage& picture, const QString& path) override;

private:
    PictureService& inner_;
    CallLog& log_;
};

class TimedFiles : public FileService {
public:
    TimedFiles(FileService& inner, CallLog& log) : inner_(inner), log_(log) { }
    qint64 length(const QString& path) override;
    void replace(const QString& path, const QByteArray& bytes) override;
    QByteArray readStart(const QString& path, qsizetype limit) override;

private:
    FileService& inner_;
    CallLog& log_;
};

class TimedEncoder : public JpegEncoder {
public:
    TimedEncoder(JpegEncoder& inner, CallLog& log) : inner_(inner), log_(log) { }
    std::int16_t SavetoJPEG(const QByteArray& sourcePath, QByteArray& destinationPath, std::uint8_t quality,
                            bool progressive) override;
    void prepare(const QByteArray& sourcePath, std::uint8_t quality, bool progressive, int restMs,
                 QSize previewBox) override;
    void cancelPrepared() override;

private:
    JpegEncoder& inner_;
    CallLog& log_;
};

// The three around a platform's own, with its message box and window system as they are.
struct TimedServices {
    TimedServices(const Platform& real, CallLog& log);
    Platform platform();

    TimedPictures pictures;
    TimedFiles files;
    TimedEncoder encoder;
    MessageBoxService& messages;
    WindowSystem& windowSystem;
};

}  // namespace pelk::bench
