// The press right after the drop, step by step: each call the handlers make of the platform's
// services, and for a bitmap the pieces of its press measured on their own.
#include "breakdown.h"

#include "bench_images.h"
#include "session.h"
#include "stats.h"
#include "timed_services.h"

#include "platform/real/files/replacing_file.h"
#include "platform/real/jpeg/encoder_source.h"
#include "platform/real/jpeg/jpeg_compress.h"
#include "platform/real/jpeg/jpeg_decoder.h"
#include "platform/real/jpeg/jpeg_strips.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <utility>

namespace pelk::bench {
namespace {

// A drop, or the press right after it: its wait and the calls it made.
struct Step {
    double total = 0;
    CallLog calls;
};

// Whether every round made the same calls in the same order.
bool sameCalls(const std::vector<Step>& rounds)
{
    const CallLog& last = rounds.back().calls;
    return std::all_of(rounds.begin(), rounds.end(), [&](const Step& r) {
        return std::equal(r.calls.begin(), r.calls.end(), last.begin(), last.end(),
                          [](const TimedCall& a, const TimedCall& b) { return a.what == b.what; });
    });
}

// The median (min–max) of the step and of each of its calls over the rounds; when the
// rounds made different calls, the last round's alone.
void printSteps(const char* what, const std::vector<Step>& rounds)
{
    auto print = [](const char* indent, int width, const QString& name, std::vector<double> times) {
        std::printf("%s%-*s %s\n", indent, width, qPrintable(name), qPrintable(ms(summarise(std::move(times)))));
    };
    std::vector<double> totals;
    for (const Step& r : rounds)
        totals.push_back(r.total);
    print("  ", 48, QString::fromUtf8(what), totals);
    const bool same = sameCalls(rounds);
    const CallLog& last = rounds.back().calls;
    for (std::size_t i = 0; i < last.size(); ++i) {
        std::vector<double> times;
        for (const Step& r : rounds)
            if (same || &r == &rounds.back())
                times.push_back(r.calls[i].seconds);
        print("    ", 46, last[i].what, times);
    }
    std::fflush(stdout);
}

// Drops and presses at quality 75, baseline: a round that warms the caches, then three
// timed. A tiny picture dropped first, and any work ahead finished, let nothing of an
// earlier round stay held or take a core.
void timedCalls(const QString& path, const QString& reset)
{
    CallLog log;
    std::unique_ptr<TimedServices> timed;
    Session s(true, [&](const Platform& real) {
        timed = std::make_unique<TimedServices>(real, log);
        return timed->platform();
    });
    s.setOptions(0);
    std::vector<Step> drops, presses;
    for (int round = 0; round < 4; ++round) {
        s.drop(reset);
        s.encoder.waitUntilIdle();
        s.real.pictures.waitUntilIdle();
        log.clear();
        const Clock::time_point t0 = Clock::now();
        s.drop(path);
        const Clock::time_point t1 = Clock::now();
        Step drop{seconds(t0, t1), std::exchange(log, {})};
        s.press();
        Step press{seconds(t1, Clock::now()), std::exchange(log, {})};
        if (round > 0) {
            drops.push_back(std::move(drop));
            presses.push_back(std::move(press));
        }
    }
    std::printf("press at once, the calls of the services (a drop, then a press right after it; 3 rounds)\n");
    printSteps("drop, up to the preview painted", drops);
    printSteps("press, up to the output preview painted", presses);
}

// The loaded picture's pixels as the encoder reads a picture it holds.
EncoderPixels pixelsOf(const QImage& picture)
{
    switch (picture.format()) {
    case QImage::Format_RGB888:
        return {picture.constBits(), picture.bytesPerLine(), picture.width(), picture.height(), 3, JCS_EXT_RGB};
    case QImage::Format_BGR888:
        return {picture.constBits(), picture.bytesPerLine(), picture.width(), picture.height(), 3, JCS_EXT_BGR};
    case QImage::Format_Grayscale8:
        return {picture.constBits(), picture.bytesPerLine(), picture.width(), picture.height(), 1, JCS_GRAYSCALE};
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        return {picture.constBits(), picture.bytesPerLine(), picture.width(), picture.height(), 4, rgb32Space};
    default:
        fail(QStringLiteral("no pixels the encoder takes as they are (format %1)").arg(int(picture.format())));
    }
}

QByteArray encoded(const EncoderPixels& pixels, bool progressive, int threads)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (const MaybeProblem problem = encodeInto(buffer, pixels, 75, progressive, threads))
        fail(QStringLiteral("encodeInto failed: %1").arg(problem->reason));
    return bytes;
}

// The encode into memory, on one thread and on all; returns the baseline JPEG's bytes.
QByteArray encodePieces(const QImage& picture)
{
    const EncoderPixels pixels = pixelsOf(picture);
    const int all = allEncodeThreads();
    for (const bool progressive : {false, true})
        for (const int threads : {1, all}) {
            const QByteArray label = QStringLiteral("encodeInto, %1 q75, %2 thread(s)")
                                         .arg(progressive ? QStringLiteral("progressive") : QStringLiteral("baseline"))
                                         .arg(threads)
                                         .toUtf8();
            timeThrice(label.constData(), [&] { (void)encoded(pixels, progressive, threads); });
        }
    return encoded(pixels, false, all);
}

// The pieces of a bitmap's press after the encode: the output's preview from its bytes, and
// the durable write of a file of its size.
void outputPieces(const QByteArray& jpeg, const QString& folder)
{
    timeThrice("reduced decode of the output (248x165)", [&] {
        JpegDecoder decoder(jpeg);
        if (decoder.decode(QSize(248, 165)).picture.isNull())
            fail(QStringLiteral("the output's bytes do not decode"));
    });
    const QString path = folder + QStringLiteral("/written.jpg");
    timeThrice("write + sync of a file of the output's size", [&] {
        ReplacingFile file(path);
        if (file.open() || file.device().write(jpeg) != jpeg.size() || file.commit())
            fail(QStringLiteral("cannot write %1").arg(path));
    });
    std::printf("  (the output: %lld bytes, baseline)\n", static_cast<long long>(jpeg.size()));
}

}  // namespace

void pressBreakdown(const QString& path, const QImage& picture)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        fail(QStringLiteral("no temporary folder"));
    const SampleFiles reset = makeSamples(dir.path(), QStringLiteral("reset"), 64, 48, false);
    timedCalls(path, reset.bmp);
    if (!path.endsWith(QStringLiteral(".bmp")))
        return;
    std::printf("the bitmap's press, its pieces on their own\n");
    outputPieces(encodePieces(picture), dir.path());
}

}  // namespace pelk::bench
