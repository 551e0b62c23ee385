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
        idleUntil(lock, realClockInForce() ? nextTimerExpiryLocked() : std::nullopt);
    }
}

} // namespace

void startRealClockServiceLocked() {
    if (started || !realClockInForce()) return;
    started = true;
    std::thread(serve).detach();
}

} // namespace kernel::detail
