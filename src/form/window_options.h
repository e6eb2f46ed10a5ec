#pragma once

#include <QString>
#include <cstdint>

namespace pelk {

class WindowModel;
struct Platform;

// Start-up: restores the settings, sets the number box from the slider, and makes the
// window topmost when the settings ask for it.
void Form_Load(WindowModel& w, Platform& p);
// Shut-down: saves the settings. The window always closes: the cancel flag is never set.
void Form_Unload(WindowModel& w, Platform& p, std::int16_t& cancel);
// Setting the always-on-top box makes the window topmost at once; clearing it takes
// effect at the next start.
void Check2_Click(WindowModel& w, Platform& p);
void mnuVer_Click(Platform& p);
void applyTopmost(Platform& p);

// The version box's text and title, from the build's version record.
QString versionText();
inline const QString versionTitle = QStringLiteral("Pelk情報");

}  // namespace pelk
