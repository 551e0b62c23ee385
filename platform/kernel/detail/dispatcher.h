// Inside the kernel layer: one lock guards the state of every dispatcher
// object, the timer queue and the clock; one condition wakes every blocked
// thread, which then looks again at what it waits for.
#pragma once

#include "platform/kernel/clock.h"
#include "platform/kernel/dispatcher.h"

#include <condition_variable>
#include <mutex>
#include <optional>

namespace kernel::detail {

std::unique_lock<std::mutex> lockDispatcher();
std::condition_variable& dispatcherChanged();
// Call after changing anything a blocked thread may wait for (lock held).
void wakeWaiters();

const Clock& clockLocked();
void installClockLocked(const Clock* clock); // null: the real clock
bool realClockInForce();                     // lock held

std::size_t timersQueuedLocked();
void dropAllTimersLocked();

// Fails the check and returns false when the calling thread may not wait.
bool checkMayWait();

// Blocks once, counted as a blocked thread, until woken or until the clock
// reaches the deadline.
void blockOnce(std::unique_lock<std::mutex>& lock, std::optional<Duration> deadline);

// The same for the layer's own service threads, which are not counted.
void idleUntil(std::unique_lock<std::mutex>& lock, std::optional<Duration> deadline);

// Blocks until ready() holds (true) or the clock reaches the deadline (false).
template <class Ready>
bool blockUntil(std::unique_lock<std::mutex>& lock, Ready ready, std::optional<Duration> deadline) {
    for (;;) {
        if (ready()) return true;
        if (deadline && clockLocked().now() >= *deadline) return false;
        blockOnce(lock, deadline);
    }
}

struct WaitAccess {
    static bool signalledFor(const DispatcherObject& object, const void* thread) {
        return object.signalledFor(thread);
    }
    static void satisfy(DispatcherObject& object, const void* thread) { object.satisfyWait(thread); }
};

} // namespace kernel::detail
