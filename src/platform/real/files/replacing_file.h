#pragma once

#include "window/failure.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace pelk {

// Writes a file that replaces its target only once it is complete and on disk: the bytes
// go to a temporary file beside the target, which commit() syncs and renames over it,
// and the folder is synced after the rename, so that a power cut leaves either the old
// file or the whole new one. A failure, or a ReplacingFile destroyed without commit(),
// removes the temporary file and leaves any older file at the target untouched.
//
// Which file is replaced, and whether, is decided as the system would decide it for the
// user. The path is walked one name at a time; a symbolic link is followed only where the
// kernel's rule for links in shared sticky folders lets the user follow it (the link is
// the user's, or the folder owner's, or the folder is not a world-writable sticky one),
// whatever that rule's switch says on this machine, and a link's target is resolved from
// the link's own folder, ".." included, as the kernel resolves it. Only a regular file is
// replaced, and only one the user could open for writing (the system is asked: groups
// and access lists count); as root, a file whose owner's write bit is cleared, or one in
// a folder so marked, stays as it is. A replaced file keeps its owner, group and
// permission bits; where they cannot be kept (another user's file, as an ordinary user)
// the file is refused rather than taken over. Until the rename the temporary file is
// readable by its owner only.
//
// QSaveFile does much the same, but names its temporary file after the target plus seven
// characters, which fails for the long names a file system still allows (a Japanese
// name of 84 characters is already 252 bytes), its commit() misses a failure of the
// last buffered bytes on a full disk and of the sync, never syncs the folder, and
// follows any link.
class ReplacingFile {
public:
    explicit ReplacingFile(const QString& target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool open();
    QFile& device() { return temporary_; }
    // False after the rename only when the folder failed to sync (an I/O error): the new
    // file then stands at the target, but may not survive a power cut.
    bool commit();
    QString errorString() const { return error_; }
    // Why open() or commit() failed: NoPermission, DiskFull, ForeignFile, NotAFile or
    // WriteFailed.
    FailureKind problem() const { return problem_; }
    // Why a write to device() just failed: DiskFull or WriteFailed.
    FailureKind writeProblem() const;
    // The temporary file's path while it is open.
    QString temporaryPath() const;

private:
    bool fail(FailureKind why, const QString& error);
    bool failFromErrno();
    void discard();

    QString target_;
    int folder_ = -1;  // the resolved target's folder, held open
    QByteArray name_;  // the target's name in that folder
    QByteArray temporaryName_;
    QFile temporary_;
    bool committed_ = false;
    FailureKind problem_ = FailureKind::WriteFailed;
    QString error_;
};

// Opens a file for reading as ReplacingFile would reach it for writing: links only as the
// kernel's rule for shared folders allows, a regular file only, and never waiting (a FIFO
// or a device is refused, not opened; the descriptor is O_NONBLOCK). Returns the open
// descriptor, or -1 with `problem` set to FileNotFound, ForeignFile, NotAFile or
// ReadFailed.
int openForReading(const QString& path, FailureKind& problem);

// Opens a file for reading as ReplacingFile would reach it for writing: links only as the
// kernel's rule for shared folders allows, a regular file only, and never waiting (a FIFO
// or a device is refused, not opened). Returns at most `limit` bytes from its start.
// FileNotFound, ForeignFile, NotAFile or ReadFailed.
QByteArray readStart(const QString& path, qsizetype limit);

}  // namespace pelk
