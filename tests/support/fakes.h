#pragma once

#include "platform/real/file_service.h"
#include "platform/real/qt_picture_service.h"
#include "platform/services.h"

#include <QStringList>
#include <functional>
#include <vector>

// Fakes for the platform services that a test cannot use for real (message boxes that
// would block, the window system), and recording encoders. Pictures and file lengths
// are real by default: tests write real files.
namespace pelk::test {

struct ShownMessage {
    QString text;
    QString title;
};

class FakeMessageBox : public MessageBoxService {
public:
    void show(const QString& text, const QString& title) override
    {
        shown.push_back({text, title});
        if (onShow)
            onShow();
    }
    QStringList texts() const
    {
        QStringList list;
        for (const ShownMessage& m : shown)
            list << m.text;
        return list;
    }
    std::vector<ShownMessage> shown;
    std::function<void()> onShow;  // runs while the "box" is open
};

class FakeWindowSystem : public WindowSystem {
public:
    void applyTopmost() override { ++topmostCalls; }
    int topmostCalls = 0;
};

struct EncoderCall {
    QByteArray source;
    QByteArray destination;
    std::uint8_t quality;
    bool progressive;
};

// Records each call; by default it writes nothing and returns `result`. Give it a
// `delegate` to pass the call on to a real encoder.
class RecordingEncoder : public JpegEncoder {
public:
    std::int16_t SavetoJPEG(const QByteArray& source, QByteArray& destination, std::uint8_t quality,
                            bool progressive) override
    {
        calls.push_back({source, destination, quality, progressive});
        if (delegate)
            return delegate->SavetoJPEG(source, destination, quality, progressive);
        return result;
    }
    std::vector<EncoderCall> calls;
    std::int16_t result = 0;
    JpegEncoder* delegate = nullptr;
};

// The platform a handler test runs on: real pictures and file lengths, fake rest.
struct TestPlatform {
    QtPictureService pictures;
    RealFileService files;
    FakeMessageBox messages;
    FakeWindowSystem windowSystem;
    RecordingEncoder encoder;
    Platform platform{pictures, files, messages, windowSystem, encoder};
};

}  // namespace pelk::test
