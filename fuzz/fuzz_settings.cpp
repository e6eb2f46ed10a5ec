// "Pelk.ini" of arbitrary bytes through loadSettings and back through saveSettings, on a
// window whose quality box and slider follow each other as in the running program.
#include "harness.h"

#include "convert/quality.h"
#include "platform/real/file_service.h"
#include "settings/settings_file.h"
#include "window/window_model.h"

#include <QDir>
#include <vector>

using namespace pelk;
using namespace pelk::fuzz;

namespace {

struct Window {
    WindowModel w;
    Window()
    {
        w.HScroll1.Change = [this] { HScroll1_Change(w); };
        w.Text2.Change = [this] { Text2_Change(w); };
    }
};

struct State {
    QString text2;
    int scroll, check1, check2;
    bool operator==(const State&) const = default;
};

State stateOf(const WindowModel& w) { return {w.Text2.text(), w.HScroll1.value(), w.Check1.value(), w.Check2.value()}; }

// The file's lines as the load reads them: ended by CR, CR LF or LF, the last one
// possibly by the end of the file. Counted here on their own, not with the program's reader.
std::vector<QByteArray> linesOf(const QByteArray& data)
{
    std::vector<QByteArray> lines;
    QByteArray line;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n')
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.isEmpty())
        lines.push_back(line);
    return lines;
}

// A check-box line that must be applied: the digit 0, 1 or 2 with blanks around it.
int plainCheckValue(const QByteArray& line)
{
    const QByteArray t = line.trimmed();
    if (t.size() == 1 && t[0] >= '0' && t[0] <= '2' && line.count(' ') + 1 == line.size())
        return t[0] - '0';
    return -1;
}

// A line that no reading of a number can accept.
bool plainlyNotANumber(const QByteArray& line)
{
    if (line.trimmed().isEmpty())
        return true;
    for (char c : line)
        if (!QByteArrayView(" \t+-.0123456789").contains(c))
            return true;
    return false;
}

// One or two ASCII digits: the quality the slider must show.
int digitsValue(const QString& text)
{
    if (text.isEmpty() || text.size() > 2)
        return -1;
    int value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// A whole number in its one plain form ("7", "-5", not "07" or "-0"), which loads back as itself.
bool canonicalInteger(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && QString::number(value) == text && text != u"-0";
}

void checkBounds(const WindowModel& w, const char* when)
{
    if (w.Text2.text().size() > 2)
        broken(when, QStringLiteral("Text2 holds more than two characters: ") + w.Text2.text());
    if (w.Check1.value() < 0 || w.Check1.value() > 2 || w.Check2.value() < 0 || w.Check2.value() > 2)
        broken(when, QStringLiteral("a check box outside 0..2"));
    if (w.HScroll1.value() < 1 || w.HScroll1.value() > 99)
        broken(when, QStringLiteral("HScroll1 outside 1..99: %1").arg(w.HScroll1.value()));
    const int shown = digitsValue(w.Text2.text());
    if (shown >= 1 && shown <= 99 && w.HScroll1.value() != shown)
        broken(when, QStringLiteral("Text2 %1 but HScroll1 %2").arg(w.Text2.text()).arg(w.HScroll1.value()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQt();
    scratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Pelk.ini is named relative to the working directory; libFuzzer's own relative paths
    // (corpus, artifacts) need the original one back after each input.
    const QString home = QDir::currentPath();
    if (!QDir::setCurrent(scratchDir()))
        broken("cannot enter the scratch folder");
    const QByteArray input = bytes(data, size);
    const QString ini = QStringLiteral("Pelk.ini");
    writeFile(ini, input);

    Window first;
    WindowModel& w = first.w;
    const State before = stateOf(w);
    RealFileService files;
    loadSettings(w, files);  // never fails outward: an escaping exception aborts the run
    checkBounds(w, "after load");

    // Only the first 4096 bytes are ever read: what lies beyond is no setting.
    const std::vector<QByteArray> lines = linesOf(input.left(4096));
    if (lines.size() < 3) {
        if (!(stateOf(w) == before))
            broken("a file of fewer than three lines changed the window");
    } else {
        const int progressive = plainCheckValue(lines[1]);
        const int topmost = plainCheckValue(lines[2]);
        if (progressive >= 0 && w.Check1.value() != progressive)
            broken("a plain progressive line was not applied");
        if (progressive >= 0 && topmost >= 0 && w.Check2.value() != topmost)
            broken("a plain always-on-top line was not applied");
        if (plainlyNotANumber(lines[1]) && (w.Check1.value() != 0 || w.Check2.value() != 0))
            broken("a bad progressive line still set a check box");
        if (plainlyNotANumber(lines[2]) && w.Check2.value() != 0)
            broken("a bad always-on-top line still set Check2");
    }

    // The save writes exactly the three values, and they load back.
    saveSettings(w, files);
    QByteArray expected = w.Text2.text().toLocal8Bit() + "\r\n";
    for (int value : {int(w.Check1.value()), int(w.Check2.value())})
        expected += QByteArray(" ") + char('0' + value) + " \r\n";
    const QByteArray saved = readFile(ini);
    if (saved != expected)
        broken("saved bytes", QString::fromLatin1(saved.toPercentEncoding()));

    Window second;
    loadSettings(second.w, files);
    checkBounds(second.w, "after reloading the save");
    if (second.w.Check1.value() != w.Check1.value() || second.w.Check2.value() != w.Check2.value())
        broken("check boxes did not survive a save and load");
    if (canonicalInteger(w.Text2.text()) && second.w.Text2.text() != w.Text2.text())
        broken("the quality did not survive a save and load",
               w.Text2.text() + QStringLiteral(" -> ") + second.w.Text2.text());
    QDir::setCurrent(home);
    return 0;
}
