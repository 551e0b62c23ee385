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

// A timed wait in progress, for the manual clock: an advance stops at its
// deadline as at a timer expiry and decides it there. When nothing the wait is
// for is signalled at that moment it has timed out, even if a call later in
// the same advance signals it before the waiter runs again. The waiter is not
// woken for that; it ends with the other waits when the advance does.
class TimedWait {
public:
    template <class Ready>
    TimedWait(Duration deadline, const Ready& ready)
        : deadline_(deadline), ready_(&ready), look_([](const void* r) {
              return static_cast<bool>((*static_cast<const Ready*>(r))());
          }) {
        enter();
    }
    ~TimedWait() { leave(); }
    TimedWait(const TimedWait&) = delete;
    TimedWait& operator=(const TimedWait&) = delete;

    bool timedOut() const { return timedOut_; }

private:
    friend void decideTimedWaitsLocked(Duration now);
    friend std::optional<Duration> nextWaitDeadlineLocked();
    void enter();
    void leave();

    const Duration deadline_;
    const void* const ready_; // the waiter's own condition, looked at under the lock
    bool (*const look_)(const void*);
    bool decided_ = false;
    bool timedOut_ = false;
};

// The earliest deadline of a timed wait not yet decided.
std::optional<Duration> nextWaitDeadlineLocked();
// Decides every timed wait whose deadline the clock has reached.
void decideTimedWaitsLocked(Duration now);

// Blocks until ready() holds (true) or the clock reaches the deadline (false).
template <class Ready>
bool blockUntil(std::unique_lock<std::mutex>& lock, Ready ready, std::optional<Duration> deadline) {
    std::optional<TimedWait> timed;
    if (deadline) timed.emplace(*deadline, ready);
    for (;;) {
        if (timed && timed->timedOut()) return false;
        if (ready()) return true;
        if (deadline && clockLocked().now() >= *deadline) return false;
        blockOnce(lock, deadline);
    }
}

struct WaitAccess {
    static bool signalledFor(const DispatcherObject& object, const void* thread) {
        return object.signalledFor(thread);
    }
    static void satisfy(DispatcherObject& object, const void* thread) {
        object.satisfyWait(thread);
    }
};

} // namespace kernel::detail
