#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>
#include <vector>

// Wall-clock timing, the summary of repeated times, and the table every section writes to.
namespace pelk::bench {

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Any failure ends the whole run: a row timed on a failed step would mean nothing.
[[noreturn]] void fail(const QString& what);

struct Stats {
    double median = 0, min = 0, max = 0;
    int count = 0;
};

Stats summarise(std::vector<double> v);

// "12.3 ms (11.0–15.2)": the median with min–max.
QString ms(const Stats& s);

// "yes" or "**no**", as the table marks whether a target was met.
QString met(bool yes);

struct Row {
    QString wait, size, ours, yardstick, theirs, ratio, target, met;
};

class Report {
public:
    // A row of two timings: the ratio of the medians, with its target when there is one.
    void timing(const QString& wait, const QString& size, const Stats& ours, const QString& yardstick,
                const Stats& theirs, std::optional<double> target);
    // A row given whole (sizes, memory, a time with no yardstick).
    void plain(const Row& r);
    QString markdown(const QStringList& header) const;
    const std::vector<Row>& rows() const { return rows_; }

private:
    std::vector<Row> rows_;
};

// The lines above the table: when, on what machine, under what load, how long it took.
QStringList machineHeader(double wholeRunSeconds);

}  // namespace pelk::bench
