#pragma once

#include <QFile>
#include <QString>

namespace pelk {

// Writes a file that replaces its target only once it is complete and on disk: the bytes
// go to a temporary file beside the target, which commit() syncs and renames over it,
// and the folder is synced after the rename, so that a power cut leaves either the old
// file or the whole new one. A failure, or a ReplacingFile destroyed without commit(),
// removes the temporary file and leaves any older file at the target untouched.
//
// A target whose owner's write bit is cleared, or one in a folder so marked, is refused:
// the bits decide, not access(), so a file the user made read-only stays as it is also
// for a program running as root. A replaced file keeps its permission bits; until the
// rename the temporary file is readable by its owner only, so the new content is never
// open to more people than the old file was.
//
// QSaveFile does much the same, but names its temporary file after the target plus seven
// characters, which fails for the long names a file system still allows (a Japanese
// name of 84 characters is already 252 bytes), its commit() misses a failure of the
// last buffered bytes on a full disk and of the sync, and it never syncs the folder.
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

private:
    bool fail(const QString& error);
    void discard();

    QString target_;
    QFile temporary_;
    bool committed_ = false;
    QString error_;
};

}  // namespace pelk
