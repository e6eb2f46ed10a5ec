#pragma once

#include "platform/services.h"
#include "window/failure.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// Fakes for every platform service, so that the handlers can be tested without the real
// platform: message boxes that would block, the window system, recording encoders, and
// plain stand-ins for pictures and files.
namespace pelk::test {

// Pictures put in by the test under a path; a path put in `refused` fails as its kind
// says, and any other path is not found. Saves are recorded, not written.
class FakePictureService : public PictureService {
public:
    QImage load(const QString& path) override
    {
        const auto refusal = refused.constFind(path);
        if (refusal != refused.constEnd())
            throw Failure(*refusal, path);
        const auto found = pictures.constFind(path);
        if (found == pictures.constEnd())
            throw Failure(FailureKind::FileNotFound, path);
        return *found;
    }
    void saveBitmap(const QImage& picture, const QString& path) override
    {
        if (failSaves)
            throw Failure(failSavesAs, path);
        pictures.insert(path, picture);
        saved << path;
    }
    QHash<QString, QImage> pictures;
    QHash<QString, FailureKind> refused;
    QStringList saved;
    bool failSaves = false;
    FailureKind failSavesAs = FailureKind::WriteFailed;
};

// Lengths put in by the test, else real ones; replace() writes the bytes plainly (the real
// road's care is tested on its own), or fails, as a full disk would, when told to.
class FakeFileService : public FileService {
public:
    qint64 length(const QString& path) override
    {
        const auto given = lengths.constFind(path);
        if (given != lengths.constEnd())
            return *given;
        const QFileInfo info(path);
        if (!info.exists() || info.isDir())
            throw Failure(FailureKind::FileNotFound, path);
        return info.size();
    }
    void replace(const QString& path, const QByteArray& bytes) override
    {
        replaced << path;
        QFile file(path);
        if (failWrites || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            throw Failure(failWrites ? failWritesAs : FailureKind::WriteFailed, path);
    }
    QByteArray readStart(const QString& path, qsizetype limit) override
    {
        QFile file(path);
        if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
            throw Failure(FailureKind::FileNotFound, path);
        return file.read(limit);
    }
    QHash<QString, qint64> lengths;
    QStringList replaced;
    bool failWrites = false;
    FailureKind failWritesAs = FailureKind::WriteFailed;
};

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
    void applyTopmost() override
    {
        ++topmostCalls;
        if (fail)
            throw Failure(FailureKind::InvalidValue, QStringLiteral("the window system refused"));
    }
    int topmostCalls = 0;
    bool fail = false;
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
        if (!rewrittenDestination.isEmpty())
            destination = rewrittenDestination;
        return result;
    }
    void prepare(const QByteArray& source, std::uint8_t quality, bool progressive, int restMs,
                 QSize previewBox) override
    {
        QByteArray unused;
        prepared.push_back({{source, unused, quality, progressive}, restMs});
        if (delegate)
            delegate->prepare(source, quality, progressive, restMs, previewBox);
    }
    void cancelPrepared() override
    {
        prepared.push_back({{}, -1});
        if (delegate)
            delegate->cancelPrepared();
    }
    // The last request made ahead, or nothing when the last word was a cancel.
    std::optional<EncoderCall> lastPrepared() const
    {
        if (prepared.empty() || prepared.back().restMs < 0)
            return std::nullopt;
        return prepared.back().call;
    }

    struct Prepared {
        EncoderCall call;
        int restMs;  // -1: a cancel
    };
    std::vector<EncoderCall> calls;
    std::vector<Prepared> prepared;
    std::int16_t result = 0;
    QByteArray rewrittenDestination;  // when set, what the destination buffer comes back holding
    JpegEncoder* delegate = nullptr;
};

// The platform a handler test runs on when nothing of it is real.
struct FakePlatform {
    FakePictureService pictures;
    FakeFileService files;
    FakeMessageBox messages;
    FakeWindowSystem windowSystem;
    RecordingEncoder encoder;
    Platform platform{pictures, files, messages, windowSystem, encoder};
};

}  // namespace pelk::test
