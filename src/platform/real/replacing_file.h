#pragma once

#include <QFile>
#include <QString>

namespace pelk {

// Writes a file that replaces its target only once it is complete: the bytes go to a
// temporary file beside the target, which is renamed over it on commit(). A failure, or
// a ReplacingFile destroyed without commit(), removes the temporary file and leaves any
// older file at the target untouched.
//
// QSaveFile does the same, but names its temporary file after the target plus seven
// characters, which fails for the long names a file system still allows (a Japanese
// name of 84 characters is already 252 bytes), and its commit() misses a failure of the
// last buffered bytes on a full disk.
class ReplacingFile {
public:
    explicit ReplacingFile(const QString& target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool open();
    QFile& device() { return temporary_; }
    bool commit();
    QString errorString() const { return error_; }

private:
    void discard();

    QString target_;
    QFile temporary_;
    bool committed_ = false;
    QString error_;
};

}  // namespace pelk
