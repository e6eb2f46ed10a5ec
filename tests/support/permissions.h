#pragma once

#include <QString>
#include <QStringList>

// Permission bits for tests, and a second run without root's rights: tests run as root,
// and root writes through bits that stop every other user.
namespace pelk::test {

// The file's mode bits (07777), or -1 when it cannot be looked at.
int modeOf(const QString& path);
bool setMode(const QString& path, int mode);

bool runningAsRoot();

// Runs the named cases of this test program again as the user nobody, in a copy of the
// program in a folder of nobody's own (the build tree may be closed to it). One name per
// case: "function" or "function:row". Returns what went wrong (no setpriv, a case failed
// or skipped, fewer cases ran than named), or an empty text when every case passed.
QString runAsNobody(const QStringList& cases);

}  // namespace pelk::test
