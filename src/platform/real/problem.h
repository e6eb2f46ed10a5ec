#pragma once

#include "window/failure.h"
#include "window/log.h"

#include <QString>

#include <optional>

namespace pelk {

// Why the platform could not do what it was asked. Every reader, structure check, encoder
// step and file operation of the real platform reports this one type: the kind is what the
// handlers will be told (through failure()), the reason is for the log.
struct Problem {
    FailureKind kind = FailureKind::ReadFailed;
    QString reason;

    Failure failure() const { return Failure(kind, reason); }
};

// What may go wrong: empty when nothing did.
using MaybeProblem = std::optional<Problem>;

// Logs the problem at debug level in the program's category, with what was being done
// (a file's path, an operation's name), and hands it back.
inline const Problem& logged(const Problem& problem, const QString& what)
{
    qCDebug(pelkLog).noquote().nospace() << what << ": " << problem.reason;
    return problem;
}

}  // namespace pelk
