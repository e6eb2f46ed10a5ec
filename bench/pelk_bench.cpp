// Times every wait a user feels in Pelk17 against tools that do the same work, in one run:
// the drop (picture load, preview, size), the convert press, start-up to the first paint,
// and the peak memory of a large press. Prints a Markdown table and writes it to a file.
//
//   pelk_bench [--out FILE] [--data DIR] [--work DIR] [--sizes 1,12,48] [--reps-scale X]
//   pelk_bench --smoke            one tiny drop and press; checks that they work
//   pelk_bench --rss-press BMP    (internal) drop and press in this process, print VmHWM
//
// Run it headless (QT_QPA_PLATFORM=offscreen); bench/run.sh builds in Release and runs it.
#include "bench_images.h"

#include "app/wiring.h"
#include "convert/convert_command.h"
#include "platform/real/files/replacing_file.h"
#include "platform/real/real_platform.h"
#include "platform/services.h"
#include "view/main_window.h"
#include "window/window_model.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <functional>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace pelk::bench {
namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

[[noreturn]] void fail(const QString& what)
{
    std::fprintf(stderr, "pelk_bench: %s\n", qPrintable(what));
    std::exit(1);
}

// ---- Child processes

struct ChildResult {
    double seconds = 0;  // from spawn to exit
    QByteArray output;   // its standard output
};

// Runs the program with its output captured (or thrown away) and fails the whole run
// when it does not succeed: a yardstick that failed would time nothing.
ChildResult runChild(const QStringList& args, const QString& workDir = {}, bool capture = false)
{
    std::vector<QByteArray> bytes;
    for (const QString& a : args)
        bytes.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (capture && pipe(pipeFds) != 0)
        fail(QStringLiteral("pipe failed"));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (capture) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const QByteArray dir = QFile::encodeName(workDir);
    if (!workDir.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, dir.constData());

    ChildResult result;
    pid_t pid = 0;
    const Clock::time_point start = Clock::now();
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        fail(QStringLiteral("cannot start %1").arg(args.first()));
    if (capture) {
        close(pipeFds[1]);
        char buffer[4096];
        ssize_t n = 0;
        while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
            result.output.append(buffer, n);
        close(pipeFds[0]);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.seconds = seconds(start, Clock::now());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail(QStringLiteral("%1 failed (status %2)").arg(args.join(u' ')).arg(status));
    return result;
}

qint64 monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Start-up of a program that prints CLOCK_MONOTONIC at its first paint and exits.
double startupSeconds(const QString& program, const QString& workDir)
{
    const qint64 start = monotonicNanoseconds();
    const ChildResult r = runChild({program}, workDir, true);
    bool ok = false;
    const qint64 painted = r.output.trimmed().toLongLong(&ok);
    if (!ok)
        fail(QStringLiteral("%1 printed no paint time").arg(program));
    return double(painted - start) / 1e9;
}

qint64 statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    return -1;
}

// ---- The program under test, headless

class SilentMessages : public MessageBoxService {
public:
    void show(const QString& text, const QString&) override { shown << text; }
    QStringList shown;
};

class NoWindowSystem : public WindowSystem {
public:
    void applyTopmost() override { }
};

// The model with every handler connected to the real picture service, file service and
// encoder, and (unless model-only) the real window over it, shown off screen.
class Session {
public:
    explicit Session(bool withView)
    {
        connectHandlers(model, platform);
        if (withView) {
            window = std::make_unique<MainWindow>(model);
            if (model.Load)
                model.Load();
            window->show();
            window->repaint();
        } else if (model.Load) {
            model.Load();
        }
    }

    // A drop, up to the preview being painted.
    void drop(const QString& path)
    {
        messages.shown.clear();
        model.OLEDragDrop(DropData{true, {path}});
        if (window)
            window->repaint();
        if (!messages.shown.isEmpty())
            fail(QStringLiteral("drop of %1 failed: %2").arg(path, messages.shown.join(u' ')));
    }

    // A press of the convert button, up to the output preview being painted. The
    // completion message is the only sign that the conversion worked.
    void press()
    {
        messages.shown.clear();
        model.Command1.click();
        if (window)
            window->repaint();
        if (messages.shown != QStringList{completionMessage})
            fail(QStringLiteral("press on %1 did not complete: %2")
                     .arg(model.Label1.caption(), messages.shown.join(u' ')));
    }

    RealServices real;
    LibjpegEncoder& encoder = real.encoder;
    SilentMessages messages;
    NoWindowSystem windowSystem;
    Platform platform{real.pictures, real.files, messages, windowSystem, encoder};
    WindowModel model;
    std::unique_ptr<MainWindow> window;
};

// ---- Statistics and the table

struct Stats {
    double median = 0, min = 0, max = 0;
    int count = 0;
};

Stats summarise(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    Stats s;
    s.count = int(v.size());
    if (v.empty())
        return s;
    s.min = v.front();
    s.max = v.back();
    const size_t n = v.size();
    s.median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return s;
}

QString ms(const Stats& s)
{
    return QStringLiteral("%1 ms (%2–%3)")
        .arg(s.median * 1000, 0, 'f', 1)
        .arg(s.min * 1000, 0, 'f', 1)
        .arg(s.max * 1000, 0, 'f', 1);
}

struct Row {
    QString wait, size, ours, yardstick, theirs, ratio, target, met;
};

class Report {
public:
    void timing(const QString& wait, const QString& size, const Stats& ours, const QString& yardstick,
                const Stats& theirs, std::optional<double> target)
    {
        const double ratio = ours.median / theirs.median;
        Row r{wait,
              size,
              ms(ours),
              yardstick,
              ms(theirs),
              QString::number(ratio, 'f', 2),
              target ? QStringLiteral("≤ %1").arg(*target) : QStringLiteral("—"),
              target ? (ratio <= *target ? QStringLiteral("yes") : QStringLiteral("**no**")) : QString()};
        rows.push_back(r);
        std::printf("  %-44s %-5s %s vs %s: %s\n", qPrintable(wait), qPrintable(size), qPrintable(r.ours),
                    qPrintable(r.theirs), qPrintable(r.ratio));
        std::fflush(stdout);
    }

    void plain(const Row& r)
    {
        rows.push_back(r);
        std::printf("  %-44s %-5s %s vs %s: %s\n", qPrintable(r.wait), qPrintable(r.size), qPrintable(r.ours),
                    qPrintable(r.theirs), qPrintable(r.ratio));
        std::fflush(stdout);
    }

    QString markdown(const QStringList& header) const
    {
        QString out;
        for (const QString& h : header)
            out += h + u'\n';
        out += QStringLiteral("\n| wait | picture | Pelk17 median (min–max) | yardstick | yardstick "
                              "median (min–max) | ratio | target | met |\n|---|---|---|---|---|---|---|---|\n");
        for (const Row& r : rows)
            out += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 |\n")
                       .arg(r.wait, r.size, r.ours, r.yardstick, r.theirs, r.ratio, r.target, r.met);
        return out;
    }

    std::vector<Row> rows;
};

// ---- The cases

struct Sample {
    QString label;  // "12 MP"
    int width, height;
    SampleFiles files;
    int reps;
    bool targets;  // the targets are stated for 12 and 48 megapixels
};

QString cjpeg() { return QStringLiteral("/usr/bin/cjpeg"); }
QString djpeg() { return QStringLiteral("/usr/bin/djpeg"); }
QString imageMagick() { return QStringLiteral("/usr/bin/convert"); }

// Times ours and theirs alternately, so that any drift of the machine hits both alike. The
// yardsticks write without syncing; their data are put on disk between the runs, untimed,
// so that a press's own sync does not pay for them (a journal commit writes out other
// files' new blocks too).
void alternate(int reps, const std::function<double()>& ours, const std::function<double()>& theirs,
               std::vector<double>& a, std::vector<double>& b)
{
    for (int i = 0; i < reps; ++i) {
        a.push_back(ours());
        b.push_back(theirs());
        ::sync();
    }
}

struct Context {
    Session& view;     // the program as the user has it
    Session& bare;     // the same without the window, to tell the view's share
    QString work;      // yardsticks' outputs and the settings file
    QString resetBmp;  // a tiny picture dropped between repetitions
    Report& report;
};

// The press times a drop beforehand (untimed), as a user drops and then presses; the
// tiny drop first makes sure nothing of an earlier repetition is still held.
double timedPress(Session& s, const QString& reset, const QString& source, int progressive)
{
    s.drop(reset);
    s.drop(source);
    s.model.Text2.setText(QStringLiteral("75"));  // the yardsticks' quality
    s.model.Check1.setValue(progressive);
    const Clock::time_point t0 = Clock::now();
    s.press();
    const double t = seconds(t0, Clock::now());
    if (s.model.qualityValue != 75)
        fail(QStringLiteral("the press ran at quality %1, not 75").arg(s.model.qualityValue));
    return t;
}

// The press as a user makes it: the quality and option set, the file dropped, a second
// spent looking at it, then the button. Meanwhile a bitmap is encoded ahead, or a JPEG's
// bitmap made; the press must write what was made.
double timedPressAfterLooking(Session& s, const QString& reset, const QString& source, int progressive)
{
    s.drop(reset);
    s.model.Text2.setText(QStringLiteral("75"));
    s.model.Check1.setValue(progressive);
    s.drop(source);
    QTest::qWait(1000);
    auto madeAhead = [&] { return s.encoder.pressesFromPrepared() + s.real.pictures.savesFromAhead(); };
    const int before = madeAhead();
    const Clock::time_point t0 = Clock::now();
    s.press();
    const double t = seconds(t0, Clock::now());
    if (madeAhead() != before + 1)
        fail(QStringLiteral("the press after a second did not write what was made ahead"));
    return t;
}

// The durable write's own share of a press: the sync of a file of the output's size, its
// rename and the sync of the folder.
Stats syncSeconds(const QString& folder, qint64 size, int reps);

double timedDrop(Session& s, const QString& reset, const QString& source)
{
    s.drop(reset);
    const Clock::time_point t0 = Clock::now();
    s.drop(source);
    return seconds(t0, Clock::now());
}

// The window's event loop while the encode ahead of a large bitmap runs: the worst gap
// between the ticks of a 10 ms timer, from just after the drop for 1.5 s.
void stallCase(Context& c, const Sample& s)
{
    std::vector<double> worst;
    for (int i = 0; i < std::max(3, s.reps); ++i) {
        c.view.drop(c.resetBmp);
        c.view.model.Text2.setText(QStringLiteral("75"));
        c.view.model.Check1.setValue(1);  // the longest job
        c.view.drop(s.files.bmp);
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
        worst.push_back(gap);
        c.view.encoder.waitUntilIdle();
    }
    const Stats stall = summarise(worst);
    c.report.plain({QStringLiteral("longest stall of the event loop while a job runs (10 ms timer)"), s.label,
                    ms(stall), QStringLiteral("—"), QStringLiteral("—"), QStringLiteral("—"), QStringLiteral("≤ 50 ms"),
                    stall.max <= 0.050 ? QStringLiteral("yes") : QStringLiteral("**no**")});
}

Stats syncSeconds(const QString& folder, qint64 size, int reps)
{
    const QByteArray bytes(size, 'j');
    const QString path = folder + QStringLiteral("/sync.jpg");
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
        ReplacingFile file(path);
        if (file.open() || file.device().write(bytes) != bytes.size())
            fail(QStringLiteral("cannot write %1").arg(path));
        file.device().flush();
        const Clock::time_point t0 = Clock::now();
        if (file.commit())
            fail(QStringLiteral("cannot commit %1").arg(path));
        times.push_back(seconds(t0, Clock::now()));
    }
    QFile::remove(path);
    return summarise(times);
}

void pressCases(Context& c, const Sample& s)
{
    const std::optional<double> none;
    auto target = [&](double t) { return s.targets ? std::optional<double>(t) : none; };
    const QString refJpg = c.work + QStringLiteral("/cjpeg.jpg");
    const QString refBmp = c.work + QStringLiteral("/djpeg.bmp");

    std::vector<double> a, b;
    alternate(
        s.reps, [&] { return timedPress(c.view, c.resetBmp, s.files.bmp, 0); },
        [&] {
            return runChild({cjpeg(), "-quality", "75", "-outfile", refJpg, s.files.bmp}).seconds;
        },
        a, b);
    c.report.timing(QStringLiteral("press, bitmap → JPEG baseline"), s.label, summarise(a),
                    QStringLiteral("`cjpeg -quality 75`"), summarise(b), target(0.6));
    const qint64 oursBaseline = QFileInfo(QFileInfo(s.files.bmp).path() + u'/'
                                          + QFileInfo(s.files.bmp).completeBaseName() + QStringLiteral(".jpg"))
                                    .size();

    a.clear(), b.clear();
    alternate(
        s.reps, [&] { return timedPress(c.view, c.resetBmp, s.files.bmp, 1); },
        [&] {
            return runChild({cjpeg(), "-quality", "75", "-progressive", "-outfile", refJpg, s.files.bmp}).seconds;
        },
        a, b);
    c.report.timing(QStringLiteral("press, bitmap → JPEG progressive"), s.label, summarise(a),
                    QStringLiteral("`cjpeg -quality 75 -progressive`"), summarise(b), target(0.9));
    const qint64 oursProgressive = QFileInfo(QFileInfo(s.files.bmp).path() + u'/'
                                             + QFileInfo(s.files.bmp).completeBaseName() + QStringLiteral(".jpg"))
                                       .size();

    a.clear(), b.clear();
    alternate(
        s.reps, [&] { return timedPress(c.view, c.resetBmp, s.files.jpg, 0); },
        [&] {
            return runChild({djpeg(), "-bmp", "-outfile", refBmp, s.files.jpg}).seconds;
        },
        a, b);
    c.report.timing(QStringLiteral("press, JPEG → bitmap"), s.label, summarise(a), QStringLiteral("`djpeg -bmp`"),
                    summarise(b), target(0.5));
    const qint64 oursBitmap = QFileInfo(QFileInfo(s.files.jpg).path() + u'/' + QFileInfo(s.files.jpg).completeBaseName()
                                        + QStringLiteral(".bmp"))
                                  .size();

    a.clear(), b.clear();
    alternate(
        s.reps, [&] { return timedPressAfterLooking(c.view, c.resetBmp, s.files.jpg, 0); },
        [&] {
            return runChild({djpeg(), "-bmp", "-outfile", refBmp, s.files.jpg}).seconds;
        },
        a, b);
    c.report.timing(QStringLiteral("press 1 s after the drop, JPEG → bitmap"), s.label, summarise(a),
                    QStringLiteral("`djpeg -bmp`"), summarise(b), target(0.3));
    const Stats bitmapSync = syncSeconds(c.work, oursBitmap, s.reps);
    c.report.plain({QStringLiteral("its sync alone (file of the bitmap's size)"), s.label, ms(bitmapSync),
                    QStringLiteral("—"), QStringLiteral("—"), QStringLiteral("—"), QStringLiteral("—"), QString()});

    for (const int progressive : {0, 1}) {
        a.clear(), b.clear();
        const QStringList options = progressive ? QStringList{"-progressive"} : QStringList{};
        alternate(
            s.reps, [&] { return timedPressAfterLooking(c.view, c.resetBmp, s.files.bmp, progressive); },
            [&] {
                return runChild(QStringList{cjpeg(), "-quality", "75"} + options
                                + QStringList{"-outfile", refJpg, s.files.bmp})
                    .seconds;
            },
            a, b);
        c.report.timing(progressive ? QStringLiteral("press 1 s after the drop, bitmap → JPEG progressive")
                                    : QStringLiteral("press 1 s after the drop, bitmap → JPEG baseline"),
                        s.label, summarise(a),
                        QStringLiteral("`cjpeg -quality 75%1`").arg(progressive ? " -progressive" : ""), summarise(b),
                        target(0.15));
    }
    if (qint64(s.width) * s.height >= 40'000'000)
        stallCase(c, s);
    const Stats sync = syncSeconds(c.work, oursBaseline, s.reps);
    c.report.plain({QStringLiteral("its sync alone (file of the baseline output's size)"), s.label, ms(sync),
                    QStringLiteral("—"), QStringLiteral("—"), QStringLiteral("—"), QStringLiteral("—"), QString()});

    // Output size against the best that cjpeg makes of the same bitmap at the same quality.
    const QString optimised = c.work + QStringLiteral("/cjpeg-optimize.jpg");
    runChild({cjpeg(), "-quality", "75", "-optimize", "-outfile", optimised, s.files.bmp});
    const qint64 theirs = QFileInfo(optimised).size();
    const double ratio = double(oursBaseline) / double(theirs);
    c.report.plain(
        {QStringLiteral("output size, baseline (bytes)"), s.label, QString::number(oursBaseline),
         QStringLiteral("`cjpeg -quality 75 -optimize`"), QString::number(theirs), QString::number(ratio, 'f', 3),
         s.targets ? QStringLiteral("≤ 1.0") : QStringLiteral("—"),
         s.targets ? (oursBaseline <= theirs ? QStringLiteral("yes") : QStringLiteral("**no**")) : QString()});
    runChild({cjpeg(), "-quality", "75", "-progressive", "-outfile", optimised, s.files.bmp});
    c.report.plain({QStringLiteral("output size, progressive (bytes)"), s.label, QString::number(oursProgressive),
                    QStringLiteral("`cjpeg -quality 75 -progressive`"), QString::number(QFileInfo(optimised).size()),
                    QString::number(double(oursProgressive) / double(QFileInfo(optimised).size()), 'f', 3),
                    QStringLiteral("—"), QString()});
}

void dropCases(Context& c, const Sample& s)
{
    const std::optional<double> none;
    auto target = [&](double t) { return s.targets ? std::optional<double>(t) : none; };
    auto readerRead = [](const QString& path) {
        const Clock::time_point t0 = Clock::now();
        QImageReader reader(path);
        const QImage picture = reader.read();
        const double t = seconds(t0, Clock::now());
        if (picture.isNull())
            fail(QStringLiteral("QImageReader cannot read %1").arg(path));
        return t;
    };

    std::vector<double> a, b;
    alternate(
        s.reps, [&] { return timedDrop(c.view, c.resetBmp, s.files.jpg); },
        [&] {
            return runChild({djpeg(), "-outfile", "/dev/null", s.files.jpg}).seconds;
        },
        a, b);
    c.report.timing(QStringLiteral("drop → preview shown, JPEG"), s.label, summarise(a),
                    QStringLiteral("`djpeg` to /dev/null"), summarise(b), target(0.3));
    const Stats djpegNull = summarise(b);

    a.clear(), b.clear();
    alternate(
        s.reps, [&] { return timedDrop(c.view, c.resetBmp, s.files.bmp); }, [&] { return readerRead(s.files.bmp); }, a,
        b);
    c.report.timing(QStringLiteral("drop → preview shown, bitmap"), s.label, summarise(a),
                    QStringLiteral("`QImageReader` read"), summarise(b), target(1.2));
    const Stats readerBmp = summarise(b);

    // Without the window: the share of the handler and the picture service alone.
    a.clear();
    for (int i = 0; i < s.reps; ++i)
        a.push_back(timedDrop(c.bare, c.resetBmp, s.files.jpg));
    c.report.timing(QStringLiteral("drop, JPEG, model only (no window)"), s.label, summarise(a),
                    QStringLiteral("`djpeg` to /dev/null"), djpegNull, none);
    a.clear();
    for (int i = 0; i < s.reps; ++i)
        a.push_back(timedDrop(c.bare, c.resetBmp, s.files.bmp));
    c.report.timing(QStringLiteral("drop, bitmap, model only (no window)"), s.label, summarise(a),
                    QStringLiteral("`QImageReader` read"), readerBmp, none);
}

void gifCases(Context& c, const Sample& s)
{
    std::vector<double> a, b;
    alternate(
        s.reps, [&] { return timedDrop(c.view, c.resetBmp, s.files.gif); },
        [&] {
            const Clock::time_point t0 = Clock::now();
            if (QImageReader(s.files.gif).read().isNull())
                fail(QStringLiteral("QImageReader cannot read %1").arg(s.files.gif));
            return seconds(t0, Clock::now());
        },
        a, b);
    c.report.timing(QStringLiteral("drop → preview shown, GIF"), s.label, summarise(a),
                    QStringLiteral("`QImageReader` read"), summarise(b), std::nullopt);
    a.clear(), b.clear();
    const QString out = c.work + QStringLiteral("/magick-gif.bmp");
    alternate(
        s.reps, [&] { return timedPress(c.view, c.resetBmp, s.files.gif, 0); },
        [&] {
            return runChild({imageMagick(), s.files.gif, out}).seconds;
        },
        a, b);
    c.report.timing(QStringLiteral("press, GIF → bitmap"), s.label, summarise(a),
                    QStringLiteral("ImageMagick `convert` gif→bmp"), summarise(b), std::nullopt);
}

void imageMagickCases(Context& c, const Sample& s, int reps)
{
    std::vector<double> a, b;
    const QString jpg = c.work + QStringLiteral("/magick.jpg");
    alternate(
        reps, [&] { return timedPress(c.view, c.resetBmp, s.files.bmp, 0); },
        [&] {
            return runChild({imageMagick(), s.files.bmp, "-quality", "75", jpg}).seconds;
        },
        a, b);
    c.report.timing(QStringLiteral("press, bitmap → JPEG baseline"), s.label, summarise(a),
                    QStringLiteral("ImageMagick `convert -quality 75`"), summarise(b), std::nullopt);
    a.clear(), b.clear();
    const QString bmp = c.work + QStringLiteral("/magick.bmp");
    alternate(
        reps, [&] { return timedPress(c.view, c.resetBmp, s.files.jpg, 0); },
        [&] {
            return runChild({imageMagick(), s.files.jpg, bmp}).seconds;
        },
        a, b);
    c.report.timing(QStringLiteral("press, JPEG → bitmap"), s.label, summarise(a),
                    QStringLiteral("ImageMagick `convert` jpg→bmp"), summarise(b), std::nullopt);
}

void startupCases(Context& c, const QString& binDir, int reps)
{
    std::vector<double> a, b;
    const QString real = binDir + QStringLiteral("/bench_startup_real");
    const QString empty = binDir + QStringLiteral("/bench_startup_empty");
    startupSeconds(real, c.work);  // the first start pays for loading the libraries from disk
    startupSeconds(empty, c.work);
    const QString label = binDir + QStringLiteral("/bench_startup_label");
    startupSeconds(label, c.work);
    std::vector<double> l;
    for (int i = 0; i < reps; ++i) {
        a.push_back(startupSeconds(real, c.work));
        b.push_back(startupSeconds(empty, c.work));
        l.push_back(startupSeconds(label, c.work));
    }
    c.report.timing(QStringLiteral("start-up to first paint"), QStringLiteral("—"), summarise(a),
                    QStringLiteral("empty Qt window's first paint"), summarise(b), std::nullopt);
    // What any window showing Japanese text pays at start: the yardstick.
    c.report.timing(QStringLiteral("start-up to first paint"), QStringLiteral("—"), summarise(a),
                    QStringLiteral("Qt window with the same Japanese labels"), summarise(l), 1.1);
}

void rssCase(Context& c, const QString& self, const Sample& s)
{
    std::vector<qint64> peaks;
    qint64 afterDrop = 0;
    for (int i = 0; i < 3; ++i) {
        const ChildResult r = runChild({self, QStringLiteral("--rss-press"), s.files.bmp}, c.work, true);
        const QList<QByteArray> fields = r.output.trimmed().split(' ');
        if (fields.size() != 3)
            fail(QStringLiteral("--rss-press printed %1").arg(QString::fromLatin1(r.output)));
        afterDrop = fields[1].toLongLong();
        peaks.push_back(fields[2].toLongLong());
    }
    std::sort(peaks.begin(), peaks.end());
    const qint64 peak = peaks[1] * 1024;
    const qint64 pixelData = qint64(s.width) * s.height * 3;
    const double ratio = double(peak) / double(pixelData);
    c.report.plain({QStringLiteral("peak RSS, drop + press bitmap → JPEG (MiB)"), s.label,
                    QStringLiteral("%1 (after the drop: %2)").arg(peak >> 20).arg(afterDrop >> 10),
                    QStringLiteral("the bitmap's pixel data"), QString::number(pixelData >> 20),
                    QString::number(ratio, 'f', 2), QStringLiteral("≤ 3.0"),
                    ratio <= 3.0 ? QStringLiteral("yes") : QStringLiteral("**no**")});
}

QString firstLine(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromUtf8(f.readLine()).trimmed();
}

QString cpuName()
{
    QFile f(QStringLiteral("/proc/cpuinfo"));
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1)).trimmed();
    return QStringLiteral("unknown");
}

// ---- Modes

int rssPress(const QString& bmp)
{
    Session s(true);
    const qint64 idle = statusKiB("VmHWM:");
    s.drop(bmp);
    const qint64 afterDrop = statusKiB("VmHWM:");
    s.model.Text2.setText(QStringLiteral("75"));
    s.model.Check1.setValue(0);
    s.press();
    std::printf("%lld %lld %lld\n", static_cast<long long>(idle), static_cast<long long>(afterDrop),
                static_cast<long long>(statusKiB("VmHWM:")));
    return 0;
}

// Where the time of a drop and a press goes, step by step, for one file.
int breakdown(const QString& path)
{
    auto time = [](const char* what, const std::function<void()>& f) {
        std::vector<double> v;
        for (int i = 0; i < 3; ++i) {
            const Clock::time_point t0 = Clock::now();
            f();
            v.push_back(seconds(t0, Clock::now()));
        }
        std::printf("  %-40s %s\n", what, qPrintable(ms(summarise(v))));
        std::fflush(stdout);
    };
    RealPictureService pictures;
    LibjpegEncoder encoder;
    QImage picture;
    time("picture service load", [&] {
        picture = QImage();
        picture = pictures.load(path);
    });
    time("QImageReader read", [&] {
        picture = QImage();
        picture = QImageReader(path).read();
    });
    time("load for display 248x165", [&] { pictures.loadForDisplay(path, QSize(248, 165)); });
    std::printf("  format %d, %dx%d\n", int(picture.format()), picture.width(), picture.height());
    PictureView view;
    view.resize(252, 169);
    time("preview rescale (PictureView)", [&] {
        view.setPicture(QImage());
        view.setPicture(picture);
    });
    if (path.endsWith(QStringLiteral(".bmp"))) {
        QByteArray out = QFile::encodeName(QDir::currentPath() + QStringLiteral("/breakdown.jpg"));
        time("encoder, baseline q75", [&] { encoder.SavetoJPEG(QFile::encodeName(path), out, 75, false); });
        time("encoder, progressive q75", [&] { encoder.SavetoJPEG(QFile::encodeName(path), out, 75, true); });
    } else {
        const QString out = QDir::currentPath() + QStringLiteral("/breakdown.bmp");
        time("bitmap save", [&] { pictures.saveBitmap(picture, out); });
        // The drop's share, the background's rest, and the press's write, one drop after another.
        const QSize box(248, 228);
        QImage shown;
        std::vector<double> first, rest, write;
        for (int i = 0; i < 3; ++i) {
            shown = QImage();
            const Clock::time_point t0 = Clock::now();
            shown = pictures.loadShownFirst(path, box);
            const Clock::time_point t1 = Clock::now();
            pictures.waitUntilIdle();
            const Clock::time_point t2 = Clock::now();
            pictures.saveBitmap(shown, out);
            first.push_back(seconds(t0, t1));
            rest.push_back(seconds(t1, t2));
            write.push_back(seconds(t2, Clock::now()));
        }
        std::printf("  %-40s %s\n", "shown first (reduced decode)", qPrintable(ms(summarise(first))));
        std::printf("  %-40s %s\n", "the background's rest after it", qPrintable(ms(summarise(rest))));
        std::printf("  %-40s %s\n", "bitmap made ahead: write and sync", qPrintable(ms(summarise(write))));
        std::printf("  shown %dx%d\n", shown.width(), shown.height());
        time("load for display of the bitmap", [&] { pictures.loadForDisplay(out, QSize(248, 165)); });
    }
    return 0;
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
    std::printf("smoke: drop and press of a 160x120 bitmap and JPEG work\n");
    return 0;
}

int fullRun(const QStringList& args)
{
    auto option = [&](const QString& name, const QString& fallback) {
        const qsizetype i = args.indexOf(name);
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : fallback;
    };
    const QString binDir = QCoreApplication::applicationDirPath();
    const QString data = QDir(option(QStringLiteral("--data"), binDir + QStringLiteral("/bench-data"))).absolutePath();
    const QString work = QDir(option(QStringLiteral("--work"), binDir + QStringLiteral("/bench-work"))).absolutePath();
    const QString out = option(QStringLiteral("--out"), binDir + QStringLiteral("/bench.md"));
    const QStringList sizes = option(QStringLiteral("--sizes"), QStringLiteral("1,12,48")).split(u',');
    const double repsScale = option(QStringLiteral("--reps-scale"), QStringLiteral("1")).toDouble();
    QDir().mkpath(work);
    QDir::setCurrent(work);  // the settings file goes here

    for (const QString& tool : {cjpeg(), djpeg(), imageMagick()})
        if (!QFileInfo(tool).isExecutable())
            fail(QStringLiteral("%1 is missing (Debian: libjpeg-turbo-progs, imagemagick)").arg(tool));

    std::printf("making the sample pictures in %s (once)\n", qPrintable(data));
    std::fflush(stdout);
    const SampleFiles reset = makeSamples(data, QStringLiteral("reset"), 64, 48, false);
    std::vector<Sample> samples;
    auto reps = [&](int n) { return std::max(1, int(n * repsScale + 0.5)); };
    if (sizes.contains(u"1"))
        samples.push_back({QStringLiteral("1 MP"), 1152, 864, {}, reps(11), false});
    if (sizes.contains(u"12"))
        samples.push_back({QStringLiteral("12 MP"), 4000, 3000, {}, reps(7), true});
    if (sizes.contains(u"48"))
        samples.push_back({QStringLiteral("48 MP"), 8000, 6000, {}, reps(5), true});
    for (Sample& s : samples)
        s.files = makeSamples(data, QStringLiteral("photo-%1x%2").arg(s.width).arg(s.height), s.width, s.height,
                              s.width == 4000);

    Report report;
    Session view(true), bare(false);
    Context c{view, bare, work, reset.bmp, report};
    const Clock::time_point begin = Clock::now();

    std::printf("start-up\n");
    startupCases(c, binDir, reps(11));
    for (const Sample& s : samples) {
        std::printf("%s (%dx%d), %d repetitions\n", qPrintable(s.label), s.width, s.height, s.reps);
        std::fflush(stdout);
        dropCases(c, s);
        pressCases(c, s);
        if (!s.files.gif.isEmpty())
            gifCases(c, s);
        if (s.width < 8000)  // at 48 MP it takes half a minute a go and says nothing new
            imageMagickCases(c, s, reps(3));
    }
    for (const Sample& s : samples)
        if (s.width == 8000)
            rssCase(c, QCoreApplication::applicationFilePath(), s);

    const QString header =
        QStringLiteral("Medians of the repetitions with min–max; ratio = Pelk17's median / the yardstick's median. "
                       "Pelk17's waits run in process through the real handlers, picture service, encoder and the real "
                       "window off screen; the yardsticks are separate processes timed from spawn to exit.");
    const QStringList lines{
        QStringLiteral("## Benchmark run %1").arg(QDateTime::currentDateTime().toString(Qt::ISODate)),
        QString(),
        QStringLiteral("- machine: %1, %2 CPUs, %3")
            .arg(cpuName())
            .arg(sysconf(_SC_NPROCESSORS_ONLN))
            .arg(QSysInfo::prettyProductName()),
        QStringLiteral("- load average at the end: %1 (other work on the machine inflates every wall time)")
            .arg(firstLine(QStringLiteral("/proc/loadavg"))),
        QStringLiteral("- transparent huge pages: `%1`")
            .arg(firstLine(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"))),
        QStringLiteral("- Qt %1, QT_QPA_PLATFORM=%2")
            .arg(QString::fromLatin1(qVersion()), qEnvironmentVariable("QT_QPA_PLATFORM")),
        QStringLiteral("- whole run: %1 s").arg(seconds(begin, Clock::now()), 0, 'f', 0),
        QString(),
        header,
    };
    const QString markdown = report.markdown(lines);
    std::printf("\n%s", qPrintable(markdown));
    QFile file(out);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(markdown.toUtf8()) < 0)
        fail(QStringLiteral("cannot write %1").arg(out));
    std::printf("\nwritten to %s\n", qPrintable(out));
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
