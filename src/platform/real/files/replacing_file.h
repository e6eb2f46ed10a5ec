#pragma once

#include "platform/real/problem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

struct stat;

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

    // NoPermission, DiskFull, ForeignFile, NotAFile or WriteFailed when the file may not or
    // cannot be made.
    [[nodiscard]] MaybeProblem open();
    QFile& device() { return temporary_; }
    // Writes all of `bytes` to device(), a large piece at a time, setting the system to put
    // each piece on disk as soon as it is written: commit()'s sync then waits for less.
    // False when a write failed (writeProblem() says why).
    bool writeAll(QByteArrayView bytes);
    // After the rename, a problem only when the folder failed to sync (an I/O error): the
    // new file then stands at the target, but may not survive a power cut. Every problem of
    // open() and commit() is logged with the target's path.
    [[nodiscard]] MaybeProblem commit();
    // Why a write to device() just failed: DiskFull or WriteFailed, with the device's words.
    Problem writeProblem() const;
    // The temporary file's path while it is open.
    QString temporaryPath() const;

private:
    MaybeProblem fail(FailureKind why, const QString& error);
    MaybeProblem failFromErrno();
    MaybeProblem create(const QByteArray& folderPath, bool replacing);
    MaybeProblem handOver(int fd, const struct stat& old);
    MaybeProblem syncFolder() const;
    void discard();

    QString target_;
    int folder_ = -1;  // the resolved target's folder, held open
    QByteArray name_;  // the target's name in that folder
    QByteArray temporaryName_;
    QFile temporary_;
    bool committed_ = false;
};

}  // namespace pelk
