// Times every wait a user feels in Pelk17 against tools that do the same work, in one run:
// the drop (picture load, preview, size), the convert press, start-up to the first paint,
// and the peak memory of a large press. Prints a Markdown table and writes it to a file.
//
//   pelk_bench [--out FILE] [--data DIR] [--work DIR] [--sizes 1,12,48] [--reps-scale X]
//   pelk_bench --smoke            one tiny drop and press, checks that they work; then every
//                                 case but start-up once on a small picture, and the breakdown
//                                 of the tiny ones; no time is checked
//   pelk_bench --breakdown FILE   the steps of one file's drop and press, one by one
//   pelk_bench --rss-press BMP    (internal) drop and press in this process, print VmHWM
//
// Run it headless (QT_QPA_PLATFORM=offscreen); bench/run.sh builds in Release and runs it.
#include "bench_images.h"
#include "breakdown.h"
#include "cases.h"
#include "child.h"
#include "session.h"
#include "stats.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace pelk::bench {
namespace {

// Every section's cases once on a small picture (large enough that the drop of its JPEG
// shows a reduced decode first and makes the bitmap ahead): each yardstick's command runs and succeeds,
// each reused yardstick is found, each press after looking writes what was made ahead, and
// the sizes compared are of the press's own output. Start-up is left out: its programs
// are targets of their own, which this test does not build.
void smokeSections(const QString& folder)
{
    const SampleFiles files = makeSamples(folder, QStringLiteral("small"), 640, 480, true);
    const SampleFiles reset = makeSamples(folder, QStringLiteral("reset"), 64, 48, false);
    Report report;
    Session view(true), bare(false);
    Context c{view, bare, folder, reset.bmp, report, 1};
    const Sample small{QStringLiteral("small"), 640, 480, files, 1, true};
    dropCases(c, small);
    pressCases(c, small);
    gifCases(c, small);
    imageMagickCases(c, small);
    rssCase(c, QCoreApplication::applicationFilePath(), small);
    // Ours and cjpeg's are JPEGs of one bitmap at one quality by one library: far apart, one
    // of them is some other file.
    for (const Row& r : report.rows()) {
        const double ratio = r.ratio.toDouble();
        if (r.wait.startsWith(u"output size") && (ratio < 0.5 || ratio > 2))
            fail(QStringLiteral("%1: %2 against %3 bytes").arg(r.wait, r.ours, r.theirs));
    }
}

int smoke()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        fail(QStringLiteral("no temporary folder"));
    QDir::setCurrent(dir.path());
    const SampleFiles files = makeSamples(dir.path(), QStringLiteral("tiny"), 160, 120, false);
    Session s(true);
    s.drop(files.bmp);
    s.press();
    const QImage out(dir.path() + QStringLiteral("/bmp/tiny.jpg"));
    if (out.size() != QSize(160, 120))
        fail(QStringLiteral("the press wrote no 160x120 JPEG"));
    s.drop(files.jpg);
    s.press();
    if (QImage(dir.path() + QStringLiteral("/jpg/tiny.bmp")).size() != QSize(160, 120))
        fail(QStringLiteral("the press wrote no 160x120 bitmap"));
    smokeSections(dir.path());
    breakdown(files.bmp);
    breakdown(files.jpg);
    std::printf("smoke: drop and press of a 160x120 bitmap and JPEG work, every case but start-up runs on a 640x480 "
                "one, and --breakdown on the 160x120 ones\n");
    return 0;
}

struct Options {
    QString binDir, data, work, out;
    QStringList sizes;
    double repsScale = 1;

    int reps(int n) const { return std::max(1, int(n * repsScale + 0.5)); }
};

Options parse(const QStringList& args)
{
    auto option = [&](const QString& name, const QString& fallback) {
        const qsizetype i = args.indexOf(name);
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : fallback;
    };
    Options o;
    o.binDir = QCoreApplication::applicationDirPath();
    o.data = QDir(option(QStringLiteral("--data"), o.binDir + QStringLiteral("/bench-data"))).absolutePath();
    o.work = QDir(option(QStringLiteral("--work"), o.binDir + QStringLiteral("/bench-work"))).absolutePath();
    o.out = option(QStringLiteral("--out"), o.binDir + QStringLiteral("/bench.md"));
    o.sizes = option(QStringLiteral("--sizes"), QStringLiteral("1,12,48")).split(u',');
    o.repsScale = option(QStringLiteral("--reps-scale"), QStringLiteral("1")).toDouble();
    return o;
}

// The sample pictures of the sizes asked for, made once in the data folder; only the
// 12-megapixel one has a GIF.
std::vector<Sample> sampleSet(const Options& o)
{
    std::vector<Sample> samples;
    if (o.sizes.contains(u"1"))
        samples.push_back({QStringLiteral("1 MP"), 1152, 864, {}, o.reps(11), false});
    if (o.sizes.contains(u"12"))
        samples.push_back({QStringLiteral("12 MP"), 4000, 3000, {}, o.reps(7), true});
    if (o.sizes.contains(u"48"))
        samples.push_back({QStringLiteral("48 MP"), 8000, 6000, {}, o.reps(5), true});
    for (Sample& s : samples)
        s.files = makeSamples(o.data, QStringLiteral("photo-%1x%2").arg(s.width).arg(s.height), s.width, s.height,
                              s.width == 4000);
    return samples;
}

void runSections(Context& c, const Options& o, const std::vector<Sample>& samples)
{
    std::printf("start-up\n");
    startupCases(c, o.binDir, o.reps(11));
    for (const Sample& s : samples) {
        std::printf("%s (%dx%d), %d repetitions\n", qPrintable(s.label), s.width, s.height, s.reps);
        std::fflush(stdout);
        dropCases(c, s);
        pressCases(c, s);
        if (!s.files.gif.isEmpty())
            gifCases(c, s);
        if (s.width < 8000)  // at 48 MP it takes half a minute a go and says nothing new
            imageMagickCases(c, s);
    }
    for (const Sample& s : samples)
        if (s.width == 8000)
            rssCase(c, QCoreApplication::applicationFilePath(), s);
}

int fullRun(const QStringList& args)
{
    const Options o = parse(args);
    QDir().mkpath(o.work);
    QDir::setCurrent(o.work);  // the settings file goes here

    for (const QString& path :
         {tool(QStringLiteral("cjpeg")), tool(QStringLiteral("djpeg")), tool(QStringLiteral("convert"))})
        if (!QFileInfo(path).isExecutable())
            fail(QStringLiteral("%1 is missing (Debian: libjpeg-turbo-progs, imagemagick)").arg(path));

    std::printf("making the sample pictures in %s (once)\n", qPrintable(o.data));
    std::fflush(stdout);
    const SampleFiles reset = makeSamples(o.data, QStringLiteral("reset"), 64, 48, false);
    const std::vector<Sample> sampled = sampleSet(o);

    Report report;
    Session view(true), bare(false);
    Context c{view, bare, o.work, reset.bmp, report, o.reps(3)};
    const Clock::time_point begin = Clock::now();
    runSections(c, o, sampled);

    const QString markdown = report.markdown(machineHeader(seconds(begin, Clock::now())));
    std::printf("\n%s", qPrintable(markdown));
    QFile file(o.out);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(markdown.toUtf8()) < 0)
        fail(QStringLiteral("cannot write %1").arg(o.out));
    std::printf("\nwritten to %s\n", qPrintable(o.out));
    return 0;
}

}  // namespace
}  // namespace pelk::bench

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.contains(QStringLiteral("--smoke")))
        return pelk::bench::smoke();
    const qsizetype b = args.indexOf(QStringLiteral("--breakdown"));
    if (b >= 0 && b + 1 < args.size())
        return pelk::bench::breakdown(args[b + 1]);
    const qsizetype rss = args.indexOf(QStringLiteral("--rss-press"));
    if (rss >= 0 && rss + 1 < args.size())
        return pelk::bench::rssPress(args[rss + 1]);
    return pelk::bench::fullRun(args);
}
