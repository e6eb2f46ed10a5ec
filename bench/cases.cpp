#include "cases.h"

#include "child.h"
#include "session.h"

#include "platform/real/jpeg/jpeg_strips.h"

#include <QFileInfo>
#include <QImageReader>
#include <functional>
#include <map>

#include <unistd.h>

namespace pelk::bench {
namespace {

const QString& fileOf(const SampleFiles& files, Source source)
{
    switch (source) {
    case Source::Bitmap:
        return files.bmp;
    case Source::Jpeg:
        return files.jpg;
    case Source::Gif:
        return files.gif;
    }
    return files.bmp;
}

// The file a press of `source` writes: beside it, a bitmap's JPEG or a picture's bitmap.
QString outputOf(const QString& source, Source kind)
{
    const QFileInfo in(source);
    return in.path() + u'/' + in.completeBaseName()
        + (kind == Source::Bitmap ? QStringLiteral(".jpg") : QStringLiteral(".bmp"));
}

double timeOurs(Context& c, const TimedCase& row, const QString& file)
{
    switch (row.ours) {
    case Ours::Drop:
        return timedDrop(c.view, c.resetBmp, file);
    case Ours::DropWithoutWindow:
        return timedDrop(c.bare, c.resetBmp, file);
    case Ours::Press:
        return timedPress(c.view, c.resetBmp, file, row.progressive);
    case Ours::PressAfterLooking:
        return timedPressAfterLooking(c.view, c.resetBmp, file, row.progressive);
    case Ours::DropAndPress:
        return timedDropAndPress(c.view, c.resetBmp, file, row.progressive);
    }
    fail(QStringLiteral("no such case"));
}

// The row's wait as the table names it, with the threads of "all" filled in.
QString waitOf(const TimedCase& row)
{
    return QString::fromUtf8(row.wait).replace(QStringLiteral("{threads}"), QString::number(allEncodeThreads()));
}

double readerSeconds(const QString& path)
{
    const Clock::time_point t0 = Clock::now();
    QImageReader reader(path);
    const QImage picture = reader.read();
    const double t = seconds(t0, Clock::now());
    if (picture.isNull())
        fail(QStringLiteral("QImageReader cannot read %1").arg(path));
    return t;
}

double timePeer(const Context& c, const TimedCase& row, const QString& file)
{
    if (row.peer == Peer::Reader)
        return readerSeconds(file);
    QStringList args = QString::fromUtf8(row.command).split(u' ');
    args.first() = tool(args.first());
    for (QString& a : args)
        a = a == u"{in}" ? file : a.startsWith(u"{work}/") ? c.work + a.mid(6) : a;
    return runChild(args).seconds;
}

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

}  // namespace

std::vector<qint64> runCases(Context& c, const Sample& s, std::span<const TimedCase> cases, int reps)
{
    std::map<QString, Stats> yardsticks;  // the peers' times so far, for the rows that reuse them
    std::vector<qint64> written;
    for (const TimedCase& row : cases) {
        c.view.encoder.setThreads(row.threads);
        const QString& file = fileOf(s.files, row.source);
        const QString yardstick = QString::fromUtf8(row.yardstick);
        std::vector<double> a, b;
        if (row.peer == Peer::Earlier) {
            for (int i = 0; i < reps; ++i)
                a.push_back(timeOurs(c, row, file));
        } else {
            alternate(
                reps, [&] { return timeOurs(c, row, file); }, [&] { return timePeer(c, row, file); }, a, b);
            yardsticks[yardstick] = summarise(b);
        }
        const auto theirs = yardsticks.find(yardstick);
        if (theirs == yardsticks.end())
            fail(QStringLiteral("%1 has no earlier times").arg(yardstick));
        c.report.timing(waitOf(row), s.label, summarise(a), yardstick, theirs->second,
                        s.targets ? row.target : std::nullopt);
        written.push_back(row.ours == Ours::Drop || row.ours == Ours::DropWithoutWindow
                              ? 0
                              : QFileInfo(outputOf(file, row.source)).size());
    }
    c.view.encoder.setThreads(0);  // the program's own
    return written;
}

}  // namespace pelk::bench
