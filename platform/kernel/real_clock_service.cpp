#include "platform/kernel/detail/real_clock_service.h"

#include "platform/kernel/detail/dispatcher.h"
#include "platform/kernel/detail/dpc_queue.h"
#include "platform/kernel/detail/timer_queue.h"

#include <thread>

namespace kernel::detail {
namespace {

bool started = false; // under the kernel's lock

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
    }
}

} // namespace

void startRealClockServiceLocked() {
    if (started || !realClockInForce()) return;
    started = true;
    std::thread(serve).detach();
}

} // namespace kernel::detail
