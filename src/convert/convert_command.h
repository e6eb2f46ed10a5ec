#pragma once

#include <QString>

namespace pelk {

class WindowModel;
struct Platform;

inline const QString completionMessage = QStringLiteral("完了しました。");
inline const QString iconApology = QStringLiteral("申し訳ありません　変換できません(^_^;)");

// The convert button: converts the current source by the type in Text3, shows the
// output and its size, confirms, saves the settings, and always ends by writing the
// output path into Text3.
void Command1_Click(WindowModel& w, Platform& p);

}  // namespace pelk
