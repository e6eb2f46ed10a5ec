#pragma once

#include "platform/real/files/file_stamp.h"

#include <QImage>
#include <QString>

#include <mutex>
#include <optional>

namespace pelk {

// The picture last read whole from a file, with the version of the file it was read
// from. The picture service keeps it there (the window shows the same picture, so it
// costs no memory of its own); the encoder reads its pixels instead of the file's while
// the file is still that version. From any thread.
class HeldPicture {
public:
    void hold(const QString& path, const FileStamp& stamp, const QImage& picture);
    // The picture read from the file at `path`, when the file is still the version it was
    // read from.
    std::optional<QImage> of(const QString& path) const;

private:
    mutable std::mutex mutex_;
    QString path_;
    FileStamp stamp_;
    QImage picture_;
};

}  // namespace pelk
