#pragma once

#include "platform/real/problem.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace pelk {

struct BoundedRead {
    QByteArray bytes;
    MaybeProblem problem;  // ReadFailed when the file could not be read
};

// At most `limit` bytes of an open file, from where it stands: the one way this program
// reads a file's bytes into memory, so that no reader takes more than it asked for
// whatever the file has become since it was measured.
BoundedRead readBounded(QFile& file, qsizetype limit);

// At most `limit` bytes from the start of the regular file at the path, opened as
// openRegularFile opens it (never waiting: a FIFO or a device is refused, not read).
// FileNotFound, ForeignFile, NotAFile or ReadFailed, logged with the path.
BoundedRead readBounded(const QString& path, qsizetype limit);

}  // namespace pelk
