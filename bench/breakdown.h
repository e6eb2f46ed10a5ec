#pragma once

#include <QString>

namespace pelk::bench {

// Prints the time of each step of one file's drop and press (--breakdown FILE).
int breakdown(const QString& path);

}  // namespace pelk::bench
