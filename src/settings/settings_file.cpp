#include "settings/settings_file.h"

#include "platform/services.h"
#include "window/failure.h"
#include "window/numbers.h"
#include "window/window_model.h"

#include <QFile>
#include <optional>

namespace pelk {
namespace {

const QString fileName = QStringLiteral("Pelk.ini");

// No setting is longer than a few characters: a hand-edited or foreign file with one
// enormous line is still read to its line end, but only this much of it is kept.
constexpr qsizetype maxKeptLine = 4096;

// Reads lines ended by CR, CR LF or a lone LF; the last line may end at the end of the
// file. Only as much of the file as the lines asked for is read.
class LineReader {
public:
    explicit LineReader(QFile& file) : file_(file) { }

    // The next line, or nothing when the file is already at its end.
    std::optional<QString> next()
    {
        if (!fill())
            return std::nullopt;
        QByteArray line;
        while (fill()) {
            const char c = buffer_[pos_++];
            if (c == '\r') {
                if (fill() && buffer_[pos_] == '\n')
                    ++pos_;
                break;
            }
            if (c == '\n')
                break;
            if (line.size() < maxKeptLine)
                line += c;
        }
        return QString::fromLocal8Bit(line);
    }

private:
    bool fill()
    {
        if (pos_ < buffer_.size())
            return true;
        buffer_ = file_.read(64 * 1024);
        pos_ = 0;
        return !buffer_.isEmpty();
    }

    QFile& file_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
};

}  // namespace

void saveSettings(WindowModel& w, FileService& files)
{
    w.savedQualityText = w.Text2.text();
    w.savedProgressive = w.Check1.value();
    w.savedTopmost = w.Check2.value();

    const QString content = w.savedQualityText + QStringLiteral("\r\n") + printForm(w.savedProgressive)
        + QStringLiteral("\r\n") + printForm(w.savedTopmost) + QStringLiteral("\r\n");
    // A file marked read-only, a folder that cannot be written or a full disk leave the
    // old file as it was; a written one is on disk before it replaces the old.
    try {
        files.replace(fileName, content.toLocal8Bit());
    } catch (const Failure&) {
    }
}

void loadSettings(WindowModel& w)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    LineReader lines(file);

    // All three lines are read before any value is applied.
    const std::optional<QString> line1 = lines.next();
    if (!line1)
        return;
    w.savedQualityText = *line1;
    const std::optional<QString> line2 = lines.next();
    if (!line2)
        return;
    w.loadedProgressive = *line2;
    const std::optional<QString> line3 = lines.next();
    if (!line3)
        return;
    w.loadedTopmost = *line3;

    w.loadedQuality = readNumber(w.savedQualityText);
    w.Text2.setText(numberText(w.loadedQuality));
    try {
        w.Check1.setValue(toInt16(w.loadedProgressive));
        w.Check2.setValue(toInt16(w.loadedTopmost));
    } catch (const Failure&) {
        // A bad line stops the load here; what was applied stays applied.
    }
}

}  // namespace pelk
