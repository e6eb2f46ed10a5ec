#pragma once

#include <QLoggingCategory>

namespace pelk {

// The program's own logging category, "pelk17.problems". Every failure that is handled
// without a word to the user, and every file or picture refused, is logged here at debug
// level with its reason: silent unless the user turns it on, for instance with
// QT_LOGGING_RULES="pelk17.*.debug=true".
Q_DECLARE_LOGGING_CATEGORY(pelkLog)

}  // namespace pelk
