#pragma once

#include "window/failure.h"

#include <QString>

namespace pelk {

// Why a file could not be shown (a refused drop) or written (a press), as the user is told
// it; a kind that message does not name gets its general text.
QString shownReason(FailureKind kind);
QString writtenReason(FailureKind kind);

}  // namespace pelk
