// The peak memory of a drop and press of the large bitmap, each in a child process of its
// own (this run's process has held larger pictures already), against the bitmap's pixels.
#include "cases.h"
#include "child.h"
#include "session.h"

#include <algorithm>
#include <cstdio>

namespace pelk::bench {

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
                    QString::number(ratio, 'f', 2), QStringLiteral("≤ 3.0"), met(ratio <= 3.0)});
}

int rssPress(const QString& bmp)
{
    Session s(true);
    s.encoder.setThreads(0);  // as the program encodes: a strip of the picture on each core at once
    const qint64 idle = statusKiB("VmHWM:");
    s.drop(bmp);
    const qint64 afterDrop = statusKiB("VmHWM:");
    s.setOptions(0);
    s.press();
    std::printf("%lld %lld %lld\n", static_cast<long long>(idle), static_cast<long long>(afterDrop),
                static_cast<long long>(statusKiB("VmHWM:")));
    return 0;
}

}  // namespace pelk::bench
