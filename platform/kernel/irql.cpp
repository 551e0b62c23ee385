#include "platform/kernel/irql.h"

#include "platform/kernel/check.h"

namespace kernel {
namespace {

thread_local Irql threadIrql = Irql::Passive;
thread_local int threadSpinLocks = 0;

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

int spinLocksHeld() { return threadSpinLocks; }

namespace detail {
const void* currentThreadKey() {
    thread_local const char key = 0;
    return &key;
}
void noteSpinLockAcquired() { ++threadSpinLocks; }
void noteSpinLockReleased() { --threadSpinLocks; }
} // namespace detail

} // namespace kernel
