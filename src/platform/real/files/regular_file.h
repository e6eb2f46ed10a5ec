#pragma once

#include "platform/real/problem.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

namespace pelk {

// Opens a file for reading only when it is a regular file, reached as ReplacingFile
// would reach it for writing. A dropped FIFO, socket or device is no picture: opening a
// FIFO waits for a writer that never comes, and opening a device may do something. The
// open itself never waits; the check is made on what was opened, so a file swapped for a
// FIFO on the way is refused too. Links are followed as for the files the program
// writes: a link another user planted in a shared sticky folder such as /tmp is refused
// (ForeignFile), or it would copy out whatever it names for them. Otherwise FileNotFound,
// NotAFile or ReadFailed.
MaybeProblem openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode mode = QIODevice::ReadOnly);

// What is at the path, when it is something other than a folder (whether it may be read
// is for its reader to say). Throws FileNotFound, logged, otherwise.
QFileInfo existingFile(const QString& path);

// As openRegularFile, for a file existingFile has just found: one gone since then cannot be
// read (ReadFailed).
MaybeProblem openFoundFile(QFile& file, const QString& path, QIODevice::OpenMode mode = QIODevice::ReadOnly);

}  // namespace pelk
