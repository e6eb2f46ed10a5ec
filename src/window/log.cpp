#include "window/log.h"

namespace pelk {

// Info and above by default: the debug lines are for someone who asks why.
Q_LOGGING_CATEGORY(pelkLog, "pelk17.problems", QtInfoMsg)

}  // namespace pelk
