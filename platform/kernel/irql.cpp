#include "platform/kernel/irql.h"

#include "platform/kernel/check.h"
#include "platform/kernel/detail/irql.h"

#include <cstdio>

namespace kernel {
namespace {

thread_local Irql threadIrql = Irql::Passive;
thread_local int threadSpinLocks = 0;

const char* levelName(Irql level) {
    switch (level) {
    case Irql::Passive:
        return "passive level";
    case Irql::Apc:
        return "APC level";
    case Irql::Dispatch:
        return "dispatch level";
    }
    return "an unknown level";
}

} // namespace

Irql currentIrql() { return threadIrql; }

Irql raiseIrql(Irql level) {
    const Irql previous = threadIrql;
    if (!check(level >= previous, "IRQL raised to a lower level")) return previous;
    threadIrql = level;
    return previous;
}

void lowerIrql(Irql previous) {
    if (!check(previous <= threadIrql, "IRQL lowered to a higher level")) return;
    threadIrql = previous;
}

bool requireIrql(Irql max, const char* what) {
    const Irql level = threadIrql;
    if (level <= max) return true;
    char message[256];
    std::snprintf(message, sizeof message, "%s at %s (allowed up to %s)", what, levelName(level),
                  levelName(max));
    failCheck(message);
    return false;
}

int spinLocksHeld() { return threadSpinLocks; }

namespace detail {
const void* currentThreadKey() {
    thread_local const char key = 0;
    return &key;
}
namespace {
thread_local std::uint64_t threadSystemOrdinal = 0;
}
void noteSystemThreadOrdinal(std::uint64_t ordinal) { threadSystemOrdinal = ordinal; }
std::uint64_t systemThreadOrdinal() { return threadSystemOrdinal; }
void noteSpinLockAcquired() { ++threadSpinLocks; }
void noteSpinLockReleased() { --threadSpinLocks; }
} // namespace detail

} // namespace kernel
