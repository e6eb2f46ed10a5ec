#pragma once

#include "window/failure.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>

// The operations the program takes from the platform, each behind a small interface.
// The real implementations live in platform/real and platform/widgets; tests use fakes.
// Every failure is a pelk::Failure.
namespace pelk {

class PictureService {
public:
    virtual ~PictureService() = default;
    // Reads a bitmap, JPEG, GIF (first frame) or icon file into a picture.
    // FileNotFound, NotAPicture, TooLarge or ReadFailed.
    virtual QImage load(const QString& path) = 0;
    // A picture that is only ever shown in a box of `box` pixels: it may come back
    // smaller than the file's picture (never smaller than the box). Fails as load().
    virtual QImage loadForDisplay(const QString& path, QSize box)
    {
        (void)box;
        return load(path);
    }
    // The picture of a file just dropped, to be shown in a box of `box` pixels now and
    // perhaps written by saveBitmap later: it may come back reduced (never smaller than
    // the box), standing for the file's full picture as it is now, which the service
    // then reads off the window's thread and saveBitmap writes in its place. Fails as
    // load().
    virtual QImage loadShownFirst(const QString& path, QSize box)
    {
        (void)box;
        return load(path);
    }
    // Writes the picture as a Windows bitmap, replacing any file at the path only once
    // the new one is complete. NoPermission, DiskFull, ForeignFile, NotAFile or WriteFailed.
    virtual void saveBitmap(const QImage& picture, const QString& path) = 0;
};

class FileService {
public:
    virtual ~FileService() = default;
    // The file's length in bytes. FileNotFound.
    virtual qint64 length(const QString& path) = 0;
    // Replaces the file's whole content with `bytes`: the new content stands complete and
    // on disk, or the old file stays as it was. Only a regular file the user could open
    // for writing is replaced, reached through links only as the system lets the user
    // follow them. NoPermission, DiskFull, ForeignFile, NotAFile or WriteFailed.
    virtual void replace(const QString& path, const QByteArray& bytes) = 0;
    // At most the first `limit` bytes of a regular file, reached as replace() reaches it;
    // never waits (a FIFO or device is NotAFile). FileNotFound, ForeignFile, NotAFile or
    // ReadFailed.
    virtual QByteArray readStart(const QString& path, qsizetype limit) = 0;
};

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // A modal box with the text and one OK button; returns when the user closes it.
    // An empty title shows the application's title.
    virtual void show(const QString& text, const QString& title = {}) = 0;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // Puts the main window above all windows that are not topmost, without moving or
    // resizing it, and shows it when it is not yet shown. Never fails outward.
    virtual void applyTopmost() = 0;
};

// SavetoJPEG's results: 0 when the JPEG was written; otherwise nothing was written, and
// these say why when the destination was the cause. Any other non-zero result is the
// encoder's own failure (an unreadable source, a picture it cannot encode).
namespace encoderResult {
inline constexpr std::int16_t written = 0;
inline constexpr std::int16_t noPermission = 3;
inline constexpr std::int16_t diskFull = 5;
inline constexpr std::int16_t foreignFile = 6;
inline constexpr std::int16_t notAFile = 7;
inline constexpr std::int16_t writeFailed = 8;

// A destination's failure as the encoder's result, and back; `other` for any other kind.
inline std::int16_t fromFailure(FailureKind kind, std::int16_t other)
{
    switch (kind) {
    case FailureKind::NoPermission:
        return noPermission;
    case FailureKind::DiskFull:
        return diskFull;
    case FailureKind::ForeignFile:
        return foreignFile;
    case FailureKind::NotAFile:
        return notAFile;
    case FailureKind::WriteFailed:
        return writeFailed;
    default:
        return other;
    }
}

inline FailureKind toFailure(std::int16_t result)
{
    switch (result) {
    case noPermission:
        return FailureKind::NoPermission;
    case diskFull:
        return FailureKind::DiskFull;
    case foreignFile:
        return FailureKind::ForeignFile;
    case notAFile:
        return FailureKind::NotAFile;
    case writeFailed:
        return FailureKind::WriteFailed;
    default:
        return FailureKind::EncoderFailed;
    }
}
}  // namespace encoderResult

class JpegEncoder {
public:
    virtual ~JpegEncoder() = default;
    // Encodes the bitmap at `sourcePath` as a JPEG at `destinationPath` (both in the file
    // system's own encoding). The destination is a buffer the encoder may rewrite.
    // Returns 0 when the JPEG was written, non-zero when nothing was written (see
    // encoderResult).
    virtual std::int16_t SavetoJPEG(const QByteArray& sourcePath, QByteArray& destinationPath, std::uint8_t quality,
                                    bool progressive) = 0;
    // A press may soon ask for this encode: the encoder may do it ahead, into memory and off
    // the window's thread, starting once `restMs` have passed without a newer request, and
    // SavetoJPEG then writes those bytes when the source file and the arguments are still
    // the same; the output's preview for a box of `previewBox` may be made ahead with them.
    // Never writes a file, never shows or throws anything.
    virtual void prepare(const QByteArray& sourcePath, std::uint8_t quality, bool progressive, int restMs,
                         QSize previewBox)
    {
        (void)sourcePath, (void)quality, (void)progressive, (void)restMs, (void)previewBox;
    }
    // No press is coming for what was prepared: drop it.
    virtual void cancelPrepared() { }
};

// The platform as the handlers see it.
struct Platform {
    PictureService& pictures;
    FileService& files;
    MessageBoxService& messages;
    WindowSystem& windowSystem;
    JpegEncoder& encoder;
};

}  // namespace pelk
