// Start-up to the first paint of the real window, each start a process of its own, against
// a Qt window with the same Japanese labels (the yardstick) and an empty Qt window.
#include "cases.h"
#include "child.h"

#include <optional>

namespace pelk::bench {

void startupCases(Context& c, const QString& binDir, int reps)
{
    struct Program {
        const char* name;
        std::vector<double> times;
    };
    Program programs[] = {{"bench_startup_real", {}}, {"bench_startup_empty", {}}, {"bench_startup_label", {}}};
    auto path = [&](const Program& p) { return binDir + u'/' + QString::fromLatin1(p.name); };
    for (const Program& p : programs)
        startupSeconds(path(p), c.work);  // the first start pays for loading the libraries from disk
    for (int i = 0; i < reps; ++i)
        for (Program& p : programs)
            p.times.push_back(startupSeconds(path(p), c.work));

    const Stats real = summarise(programs[0].times);
    struct Compared {
        const Program& yardstick;
        const char* label;
        std::optional<double> target;
    };
    // What any window showing Japanese text pays at start is the yardstick.
    const Compared rows[] = {{programs[1], "empty Qt window's first paint", std::nullopt},
                             {programs[2], "Qt window with the same Japanese labels", 1.25}};
    for (const Compared& r : rows)
        c.report.timing(QStringLiteral("start-up to first paint"), QStringLiteral("—"), real,
                        QString::fromUtf8(r.label), summarise(r.yardstick.times), r.target);
}

}  // namespace pelk::bench
