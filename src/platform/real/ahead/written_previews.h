#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <mutex>
#include <optional>

namespace pelk {

// The preview of a file this program has just written, made ahead from the very bytes it
// wrote, so that showing the output need not decode it again. It is handed out once, and
// only while the file still holds exactly those bytes. Shared by the encoder (which puts)
// and the picture service (which takes), from any thread.
class WrittenPreviews {
public:
    void put(const QString& path, const QByteArray& bytes, QSize box, const QImage& preview);
    // The preview for a box of this size, when the file at the path is what was put.
    std::optional<QImage> take(const QString& path, QSize box);

private:
    struct Entry {
        QString path;
        QByteArray bytes;
        QSize box;
        QImage preview;
    };
    std::mutex mutex_;
    std::optional<Entry> entry_;
};

}  // namespace pelk
