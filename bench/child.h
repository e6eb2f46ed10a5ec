#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The yardstick tools and the start-up programs, each run as a process of its own.
namespace pelk::bench {

struct ChildResult {
    double seconds = 0;  // from spawn to exit
    QByteArray output;   // its standard output
};

// Runs the program with its output captured (or thrown away) and fails the whole run
// when it does not succeed: a yardstick that failed would time nothing.
ChildResult runChild(const QStringList& args, const QString& workDir = {}, bool capture = false);

// Start-up of a program that prints CLOCK_MONOTONIC at its first paint and exits.
double startupSeconds(const QString& program, const QString& workDir);

// A field of /proc/self/status in KiB ("VmHWM:"), or -1.
qint64 statusKiB(const char* field);

// The yardstick tools as Debian installs them: cjpeg, djpeg (libjpeg-turbo-progs) and
// ImageMagick's convert.
inline QString tool(const QString& name) { return QStringLiteral("/usr/bin/") + name; }

}  // namespace pelk::bench
