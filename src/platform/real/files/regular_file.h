#pragma once

#include <QFile>
#include <QString>

namespace pelk {

enum class OpenProblem { None, Missing, NotAFile, Unreadable, Foreign };

// Opens a file for reading only when it is a regular file. A dropped FIFO, socket or
// device is no picture: opening a FIFO waits for a writer that never comes, and opening a
// device may do something. The open itself never waits; the check is made on what was
// opened, so a file swapped for a FIFO on the way is refused too. Links are followed as
// for the files the program writes: a link another user planted in a shared sticky folder
// such as /tmp is refused (Foreign), or it would copy out whatever it names for them.
OpenProblem openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode mode = QIODevice::ReadOnly);

}  // namespace pelk
