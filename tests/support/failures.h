#pragma once

#include "window/failure.h"

#include <QDebug>

#include <optional>
#include <utility>

// Which failure a call threw, for the tests that check it.
namespace pelk::test {

// The failure the call threw, or nothing when it returned.
template <typename F>
std::optional<Failure> failureOf(F&& call)
{
    try {
        std::forward<F>(call)();
    } catch (const Failure& failure) {
        return failure;
    }
    return std::nullopt;
}

// Only its kind: QCOMPARE(thrownKind([&] { ... }), std::optional(FailureKind::Overflow)).
template <typename F>
std::optional<FailureKind> thrownKind(F&& call)
{
    const std::optional<Failure> failure = failureOf(std::forward<F>(call));
    return failure ? std::optional(failure->kind()) : std::nullopt;
}

}  // namespace pelk::test

namespace pelk {

// So that a QCOMPARE of two kinds names them when it fails.
inline QDebug operator<<(QDebug debug, const std::optional<FailureKind>& kind)
{
    QDebugStateSaver saver(debug);
    if (kind)
        debug.nospace() << "FailureKind(" << int(*kind) << ')';
    else
        debug << "no failure";
    return debug;
}

}  // namespace pelk
