#include "stats.h"

#include <QDateTime>
#include <QFile>
#include <QSysInfo>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace pelk::bench {

void fail(const QString& what)
{
    std::fprintf(stderr, "pelk_bench: %s\n", qPrintable(what));
    std::exit(1);
}

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

QString met(bool yes) { return yes ? QStringLiteral("yes") : QStringLiteral("**no**"); }

void Report::timing(const QString& wait, const QString& size, const Stats& ours, const QString& yardstick,
                    const Stats& theirs, std::optional<double> target)
{
    const double ratio = ours.median / theirs.median;
    plain({wait, size, ms(ours), yardstick, ms(theirs), QString::number(ratio, 'f', 2),
           target ? QStringLiteral("≤ %1").arg(*target) : QStringLiteral("—"),
           target ? met(ratio <= *target) : QString()});
}

void Report::plain(const Row& r)
{
    rows_.push_back(r);
    std::printf("  %-44s %-5s %s vs %s: %s\n", qPrintable(r.wait), qPrintable(r.size), qPrintable(r.ours),
                qPrintable(r.theirs), qPrintable(r.ratio));
    std::fflush(stdout);
}

QString Report::markdown(const QStringList& header) const
{
    QString out;
    for (const QString& h : header)
        out += h + u'\n';
    out += QStringLiteral("\n| wait | picture | Pelk17 median (min–max) | yardstick | yardstick "
                          "median (min–max) | ratio | target | met |\n|---|---|---|---|---|---|---|---|\n");
    for (const Row& r : rows_)
        out += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 |\n")
                   .arg(r.wait, r.size, r.ours, r.yardstick, r.theirs, r.ratio, r.target, r.met);
    return out;
}

namespace {

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

}  // namespace

QStringList machineHeader(double wholeRunSeconds)
{
    return {
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
        QStringLiteral("- whole run: %1 s").arg(wholeRunSeconds, 0, 'f', 0),
        QString(),
        QStringLiteral("Medians of the repetitions with min–max; ratio = Pelk17's median / the yardstick's median. "
                       "Pelk17's waits run in process through the real handlers, picture service, encoder and the real "
                       "window off screen; the yardsticks are separate processes timed from spawn to exit."),
    };
}

}  // namespace pelk::bench
