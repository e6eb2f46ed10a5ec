#include "settings/settings_file.h"

#include "platform/services.h"
#include "window/failure.h"
#include "window/log.h"
#include "window/numbers.h"
#include "window/window_model.h"

#include <optional>

namespace pelk {
namespace {

const QString fileName = QStringLiteral("Pelk.ini");

// The three lines the program writes are at most 26 bytes (two characters of quality,
// two check lines of the print form); a page leaves room for any hand-edited file
// whose lines are still settings, and is read in one call. What lies beyond is never
// read: a file of a gigabyte without a line end holds start-up back no longer than this.
constexpr qsizetype maxRead = 4096;

// Reads lines ended by CR, CR LF or a lone LF; the last line may end at the end of the
// bytes.
class LineReader {
public:
    explicit LineReader(const QByteArray& bytes) : bytes_(bytes) { }

    // The next line, or nothing when the bytes are already at their end.
    std::optional<QString> next()
    {
        if (pos_ >= bytes_.size())
            return std::nullopt;
        qsizetype end = pos_;
        while (end < bytes_.size() && bytes_[end] != '\r' && bytes_[end] != '\n')
            ++end;
        const QString line = QString::fromLocal8Bit(bytes_.mid(pos_, end - pos_));
        pos_ = end;
        if (pos_ < bytes_.size() && bytes_[pos_++] == '\r' && pos_ < bytes_.size() && bytes_[pos_] == '\n')
            ++pos_;
        return line;
    }

private:
    const QByteArray& bytes_;
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
    } catch (const Failure& failure) {
        qCDebug(pelkLog).noquote() << "Pelk.ini not saved:" << failure.detail();
    }
}

void loadSettings(WindowModel& w, FileService& files)
{
    // Only a regular file is read: a FIFO or a device named Pelk.ini would hold start-up
    // (and the session's end with it) until someone wrote to it.
    QByteArray bytes;
    try {
        bytes = files.readStart(fileName, maxRead);
    } catch (const Failure& failure) {
        qCDebug(pelkLog).noquote() << "Pelk.ini not read:" << failure.detail();
        return;
    }
    LineReader lines(bytes);

    // All three lines are read before any value is applied.
    // Each line read is kept in its variable, as far as the file goes.
    const std::optional<QString> quality = lines.next();
    if (quality)
        w.savedQualityText = *quality;
    const std::optional<QString> progressive = quality ? lines.next() : std::nullopt;
    if (progressive)
        w.loadedProgressive = *progressive;
    const std::optional<QString> topmost = progressive ? lines.next() : std::nullopt;
    if (!topmost) {
        qCDebug(pelkLog) << "Pelk.ini has fewer than three lines: nothing applied";
        return;
    }
    w.loadedTopmost = *topmost;

    w.loadedQuality = readNumber(w.savedQualityText);
    w.Text2.setText(numberText(w.loadedQuality));
    try {
        w.Check1.setValue(toInt16(w.loadedProgressive));
        w.Check2.setValue(toInt16(w.loadedTopmost));
    } catch (const Failure& failure) {
        // A bad line stops the load here; what was applied stays applied.
        qCDebug(pelkLog).noquote() << "Pelk.ini: a check line is no check-box value:" << failure.detail();
    }
}

}  // namespace pelk
