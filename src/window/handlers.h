#pragma once

namespace pelk {

class WindowModel;
struct Platform;

// Connects every event of the window to its handler. A failure that a handler does not
// trap ends that event; a failed drop is reported to the user.
void connectHandlers(WindowModel& w, Platform& p);

}  // namespace pelk
