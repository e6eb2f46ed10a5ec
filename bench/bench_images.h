#pragma once

#include <QImage>
#include <QString>

// The pictures the benchmark works on, fixed by a seed so that every run sees the same
// pixels: smooth gradients, slanted hard edges, fine texture and sensor-like noise, so
// that the JPEG coder meets the kind of content a camera gives it (flat colour would
// make every encoder look fast).
namespace pelk::bench {

QImage photographic(int width, int height, quint32 seed);

// Writes `picture` as a 24-bit bitmap, a JPEG (quality 90, 4:2:0) and, when `withGif`,
// a GIF into bmp/, jpg/ and gif/ below `folder`, named `name`.<ext>; files that exist
// already are kept (they were made from the same seed).
struct SampleFiles {
    QString bmp, jpg, gif;
};
SampleFiles makeSamples(const QString& folder, const QString& name, int width, int height, bool withGif);

}  // namespace pelk::bench
