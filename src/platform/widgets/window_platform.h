#pragma once

namespace pelk {

// Chooses the window system's plugin before the application object exists. Where the user
// has not chosen one (QT_QPA_PLATFORM unset or empty) and an X display is named, the window
// runs as an X client, through XWayland on a Wayland desktop, and falls back to Wayland only
// when no X server answers: Wayland gives a client no way to keep its window above others,
// so stay-on-top works only there. A platform the user sets, by the variable or by
// -platform, is obeyed as it is.
void preferX11WhereNeeded();

}  // namespace pelk
