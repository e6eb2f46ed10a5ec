// The convert press against the tools doing the same conversion: right after the drop, and
// as a user makes it a second later (when the encode ahead or the JPEG's bitmap is made);
// the durable write's share; the window's event loop while a large job runs; the output's
// size against the best cjpeg makes.
#include "cases.h"
#include "child.h"
#include "session.h"

#include "platform/real/files/replacing_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>

namespace pelk::bench {
namespace {

// The yardsticks make the bytes the program makes: its baseline has optimised Huffman
// tables, as -optimize gives them (and progressive JPEGs always have them).
constexpr const char* cjpegBaseline = "cjpeg -quality 75 -optimize -outfile {work}/cjpeg.jpg {in}";
constexpr const char* cjpegProgressive = "cjpeg -quality 75 -progressive -outfile {work}/cjpeg.jpg {in}";
constexpr const char* djpegBitmap = "djpeg -bmp -outfile {work}/djpeg.bmp {in}";
constexpr const char* baselineName = "`cjpeg -quality 75 -optimize`";
constexpr const char* progressiveName = "`cjpeg -quality 75 -progressive`";

// The presses right after the drop, the encodes on one thread and on all, then the JPEG's
// (alone, with its drop, and a second later). The rows written below by index: the
// baseline and progressive JPEGs on all threads, the bitmap.
constexpr TimedCase presses[] = {
    {"press at once, bitmap → JPEG baseline, 1 thread", Source::Bitmap, Ours::Press, 0, baselineName, Peer::Command,
     cjpegBaseline, std::nullopt, 1},
    {"press at once, bitmap → JPEG baseline, all threads ({threads})", Source::Bitmap, Ours::Press, 0, baselineName,
     Peer::Command, cjpegBaseline, 1.0},
    {"press at once, bitmap → JPEG progressive, 1 thread", Source::Bitmap, Ours::Press, 1, progressiveName,
     Peer::Command, cjpegProgressive, std::nullopt, 1},
    {"press at once, bitmap → JPEG progressive, all threads ({threads})", Source::Bitmap, Ours::Press, 1,
     progressiveName, Peer::Command, cjpegProgressive, 1.0},
    {"press at once, JPEG → bitmap", Source::Jpeg, Ours::Press, 0, "`djpeg -bmp`", Peer::Command, djpegBitmap,
     std::nullopt},
    {"drop + press at once, JPEG → bitmap", Source::Jpeg, Ours::DropAndPress, 0, "`djpeg -bmp`", Peer::Command,
     djpegBitmap, 1.0},
    {"press 1 s after the drop, JPEG → bitmap", Source::Jpeg, Ours::PressAfterLooking, 0, "`djpeg -bmp`", Peer::Command,
     djpegBitmap, 0.4},
};
constexpr std::size_t baselineRow = 1, progressiveRow = 3, bitmapRow = 4;

// The bitmap's presses a second after the drop, when the encode ahead has been made.
constexpr TimedCase pressesAfterLooking[] = {
    {"press 1 s after the drop, bitmap → JPEG baseline", Source::Bitmap, Ours::PressAfterLooking, 0, baselineName,
     Peer::Command, cjpegBaseline, 0.15},
    {"press 1 s after the drop, bitmap → JPEG progressive", Source::Bitmap, Ours::PressAfterLooking, 1, progressiveName,
     Peer::Command, cjpegProgressive, 0.15},
};

// The durable write's own share of a press: the sync of a file of the output's size, its
// rename and the sync of the folder.
void syncCase(Context& c, const Sample& s, const QString& wait, qint64 size)
{
    const QByteArray bytes(size, 'j');
    const QString path = c.work + QStringLiteral("/sync.jpg");
    std::vector<double> times;
    for (int i = 0; i < s.reps; ++i) {
        ReplacingFile file(path);
        if (file.open() || file.device().write(bytes) != bytes.size())  // open() gives a problem, or none
            fail(QStringLiteral("cannot write %1").arg(path));
        file.device().flush();
        const Clock::time_point t0 = Clock::now();
        if (file.commit())
            fail(QStringLiteral("cannot commit %1").arg(path));
        times.push_back(seconds(t0, Clock::now()));
    }
    QFile::remove(path);
    const QString none = QStringLiteral("—");
    c.report.plain({wait, s.label, ms(summarise(times)), none, none, none, none, QString()});
}

// The worst gap between the ticks of a 10 ms timer, from just after the drop for 1.5 s.
double worstGapAfterDrop(Session& view, const QString& reset, const QString& bmp)
{
    view.drop(reset);
    view.setOptions(1);  // the longest job
    view.drop(bmp);
    double gap = 0;
    Clock::time_point last = Clock::now();
    const Clock::time_point end = last + std::chrono::milliseconds(1500);
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        gap = std::max(gap, seconds(last, now));
        last = now;
    });
    timer.start(10);
    while (Clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return gap;
}

// The window's event loop while the encode ahead of a large bitmap runs.
void stallCase(Context& c, const Sample& s)
{
    std::vector<double> worst;
    for (int i = 0; i < std::max(3, s.reps); ++i) {
        worst.push_back(worstGapAfterDrop(c.view, c.resetBmp, s.files.bmp));
        c.view.encoder.waitUntilIdle();
    }
    const Stats stall = summarise(worst);
    c.report.plain({QStringLiteral("longest stall of the event loop while a job runs (10 ms timer)"), s.label,
                    ms(stall), QStringLiteral("—"), QStringLiteral("—"), QStringLiteral("—"), QStringLiteral("≤ 50 ms"),
                    met(stall.max <= 0.050)});
}

// Output sizes against cjpeg's of the same bitmap at the same quality: the baseline against
// the best it makes (-optimize), the progressive against its progressive.
void sizeCases(Context& c, const Sample& s, qint64 oursBaseline, qint64 oursProgressive)
{
    struct SizeCase {
        const char* wait;
        qint64 ours;
        const char* option;
        bool target;  // ours no larger, at the samples that have targets
    };
    const SizeCase cases[] = {
        {"output size, baseline (bytes)", oursBaseline, "-optimize", true},
        {"output size, progressive (bytes)", oursProgressive, "-progressive", false},
    };
    const QString optimised = c.work + QStringLiteral("/cjpeg-optimize.jpg");
    for (const SizeCase& row : cases) {
        const QString option = QString::fromLatin1(row.option);
        runChild({tool(QStringLiteral("cjpeg")), "-quality", "75", option, "-outfile", optimised, s.files.bmp});
        const qint64 theirs = QFileInfo(optimised).size();
        const bool targeted = row.target && s.targets;
        c.report.plain({QString::fromUtf8(row.wait), s.label, QString::number(row.ours),
                        QStringLiteral("`cjpeg -quality 75 %1`").arg(option), QString::number(theirs),
                        QString::number(double(row.ours) / double(theirs), 'f', 3),
                        targeted ? QStringLiteral("≤ 1.0") : QStringLiteral("—"),
                        targeted ? met(row.ours <= theirs) : QString()});
    }
}

}  // namespace

void pressCases(Context& c, const Sample& s)
{
    const std::vector<qint64> written = runCases(c, s, presses, s.reps);
    syncCase(c, s, QStringLiteral("its sync alone (file of the bitmap's size)"), written[bitmapRow]);
    runCases(c, s, pressesAfterLooking, s.reps);
    if (qint64(s.width) * s.height >= 40'000'000)
        stallCase(c, s);
    syncCase(c, s, QStringLiteral("its sync alone (file of the baseline output's size)"), written[baselineRow]);
    sizeCases(c, s, written[baselineRow], written[progressiveRow]);
}

}  // namespace pelk::bench
