#pragma once

namespace pelk {

class WindowModel;
struct Platform;

// Connects every event of the window to its handler. A failure that a handler does not
// trap ends the event the user raised (with every event it raised in turn), as in the
// window runtime; a failed drop is reported to the user.
void connectHandlers(WindowModel& w, Platform& p);

}  // namespace pelk
