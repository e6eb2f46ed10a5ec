#pragma once

#include <QImage>
#include <QString>

#include <functional>

namespace pelk::bench {

// Prints the time of each step of one file's drop and press (--breakdown FILE).
int breakdown(const QString& path);

// The press right after a drop of `path`, call by call, and for a bitmap its pieces measured
// on their own (`picture` is the file's picture as the picture service loads it).
void pressBreakdown(const QString& path, const QImage& picture);

// Runs `f` three times and prints the median with min–max after `what`.
void timeThrice(const char* what, const std::function<void()>& f);

}  // namespace pelk::bench
