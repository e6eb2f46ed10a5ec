#pragma once

#include <QString>

namespace pelk {

class WindowModel;
struct Platform;

inline const QString completionMessage = QStringLiteral("完了しました。");
inline const QString iconApology = QStringLiteral("申し訳ありません　変換できません(^_^;)");

// The convert button: converts the current source by the type in Text3, shows the
// output and its size, confirms, saves the settings, and always ends by writing the
// output path into Text3. An output that could not be written is named in a message,
// with the reason; every other failure ends the press silently.
void Command1_Click(WindowModel& w, Platform& p);

// After anything that changes what a press would encode (a drop, the quality, the
// progressive box, a press): asks the encoder to prepare the press's encode now, with the
// source, quality and option the press would take at this moment, or to drop what it
// prepared when a press would encode nothing. Reads the window only; never fails.
void prepareAhead(const WindowModel& w, Platform& p, int restMs);

// How long a quality must rest before it is encoded ahead: dragging the slider does not
// start an encode per step.
inline constexpr int qualityRestMs = 200;

}  // namespace pelk
