#include "platform/kernel/detail/real_clock_service.h"

#include "platform/kernel/detail/dispatcher.h"
#include "platform/kernel/detail/dpc_queue.h"
#include "platform/kernel/detail/timer_queue.h"
#include "platform/kernel/real_clock_lateness.h"

#include <thread>

namespace kernel::detail {
namespace {

bool started = false; // under the kernel's lock
// Under the kernel's lock too.
RealClockLateness lateness;
Duration lateAllowance = std::chrono::milliseconds(2);

// A wake planned for `deadline` came at `now`.
void noteTimedWakeLocked(Duration deadline, Duration now) {
    ++lateness.timedWakes;
    const Duration late = now - deadline;
    if (late > lateAllowance) ++lateness.lateWakes;
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(late);
    if (micros > lateness.worst) lateness.worst = micros;
}

// Fires the timers that fell due and runs the queued calls while the real
// clock is in force; under a manual clock it only waits, since the test's
// advances and settles run everything then.
void serve() {
    auto lock = lockDispatcher();
    for (;;) {
        if (realClockInForce()) {
            expireTimersLocked(clockLocked().now());
            if (runQueuedDpcs(lock)) continue;
        }
        // Under the real clock a call queued or a timer set to wake it sooner
        // changes what there is to do; under a manual clock only the real one
        // coming back. It sleeps until the latest moment the timers allow, and
        // that wake expires every timer due by then.
        const bool real = realClockInForce();
        const std::optional<Duration> next = real ? nextTimerWakeLocked() : std::nullopt;
        const auto moreToDo = [real, &next] {
            if (!real) return false;
            const std::optional<Duration> wake = nextTimerWakeLocked();
            return dpcsQueuedLocked() || (wake && (!next || *wake < *next));
        };
        idleUntil(lock, next, WakeCondition::of(moreToDo));
        if (next && realClockInForce()) {
            const Duration now = clockLocked().now();
            if (now >= *next) noteTimedWakeLocked(*next, now);
        }
    }
}

} // namespace

void startRealClockServiceLocked() {
    if (started || !realClockInForce()) return;
    started = true;
    std::thread(serve).detach();
}

} // namespace kernel::detail

namespace kernel {

RealClockLateness realClockLateness() {
    const auto lock = detail::lockDispatcher();
    return detail::lateness;
}

void resetRealClockLateness(std::chrono::microseconds allowance) {
    const auto lock = detail::lockDispatcher();
    detail::lateness = {};
    detail::lateAllowance = allowance;
}

} // namespace kernel
