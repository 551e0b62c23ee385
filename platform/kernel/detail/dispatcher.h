// Inside the kernel layer: one lock guards the state of every dispatcher
// object, the timer and DPC queues and the clock. A change looks, on behalf
// of each blocked thread, at what that thread waits for, and wakes only the
// threads it concerns; the others stay blocked, having seen the change.
#pragma once

#include "platform/kernel/clock.h"
#include "platform/kernel/dispatcher.h"
#include "platform/kernel/irql.h"

#include <chrono>
#include <cstddef>
#include <mutex>
#include <optional>

namespace kernel::detail {

std::unique_lock<std::mutex> lockDispatcher();
// Call after changing anything a blocked thread may wait for (lock held):
// wakes the blocked threads whose wake condition now holds.
void wakeWaiters();

// What a blocked thread would look at if it woke: a change wakes it only
// when this holds (looked at under the lock, on the changing thread, so it
// reads only state the lock guards and changes nothing that other threads
// see). The thread is also woken when the clock in force changes between the
// real one and a manual one. Without a condition every change wakes it.
class WakeCondition {
public:
    WakeCondition() = default;
    template <class Look> static WakeCondition of(const Look& look) {
        WakeCondition condition;
        condition.context_ = &look;
        condition.look_ = [](const void* l) {
            return static_cast<bool>((*static_cast<const Look*>(l))());
        };
        return condition;
    }
    bool holds() const { return look_ == nullptr || look_(context_); }

private:
    const void* context_ = nullptr; // the thread's own condition, on its stack
    bool (*look_)(const void*) = nullptr;
};

const Clock& clockLocked();
void installClockLocked(const Clock* clock); // null: the real clock
bool realClockInForce();                     // lock held

// Blocks once, counted as a blocked thread, until a change for which
// `wakeIf` holds or until the clock reaches the deadline (a manual clock
// reaches it only by an advance, whose end is such a change once the wait has
// been decided there).
void blockOnce(std::unique_lock<std::mutex>& lock, std::optional<Duration> deadline,
               WakeCondition wakeIf = {});

// The same for the layer's own service threads, which awaitBlockedThreads
// does not count.
void idleUntil(std::unique_lock<std::mutex>& lock, std::optional<Duration> deadline,
               WakeCondition wakeIf = {});

// The threads a manual clock's settle waits for: system threads and the
// work-item worker. The creator enrols one before starting it (lock held) and
// withdraws it when it cannot start; the thread marks itself first thing and
// withdraws itself at its end.
void enrolKernelThreadLocked();
void withdrawKernelThreadLocked();
void markKernelThread();

// Every thread of the layer but the caller has ended, or is blocked in a wait
// and has looked at every change made since.
bool kernelThreadsSettledLocked();
std::size_t kernelThreadsLocked();
// Waits in real time until a thread blocks or ends or anything changes; false
// once `until` has passed.
bool awaitThreadChangeLocked(std::unique_lock<std::mutex>& lock,
                             std::chrono::steady_clock::time_point until);

// Advances, settles and flushes of a manual clock take turns: only one
// thread at a time moves time or runs queued calls. Held for a scope, whose
// end must find the lock held.
class ClockTurn {
public:
    explicit ClockTurn(std::unique_lock<std::mutex>& lock);
    ~ClockTurn();
    ClockTurn(const ClockTurn&) = delete;
    ClockTurn& operator=(const ClockTurn&) = delete;
};

bool clockTurnTaken(); // lock held

// Marks the calling thread, for a scope, as one that waits (among other
// things) for the turn to be given back, so that the holder wakes it then.
class ClockTurnWaiter {
public:
    ClockTurnWaiter();
    ~ClockTurnWaiter();
    ClockTurnWaiter(const ClockTurnWaiter&) = delete;
    ClockTurnWaiter& operator=(const ClockTurnWaiter&) = delete;
};

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
    // The looks below, in the order this thread makes them: any that holds
    // ends the wait, so a change wakes the thread only then.
    const auto ends = [&] {
        return (timed && timed->timedOut()) || ready() ||
               (deadline && clockLocked().now() >= *deadline);
    };
    for (;;) {
        if (timed && timed->timedOut()) return false;
        if (ready()) return true;
        if (deadline && clockLocked().now() >= *deadline) return false;
        blockOnce(lock, deadline, WakeCondition::of(ends));
    }
}

// The level rule of every wait that may block: below dispatch level.
inline bool mayWait(const char* what) { return requireIrql(Irql::Apc, what); }

struct WaitAccess {
    static bool signalledFor(const DispatcherObject& object, const void* thread) {
        return object.signalledFor(thread);
    }
    static void satisfy(DispatcherObject& object, const void* thread) {
        object.satisfyWait(thread);
    }
};

} // namespace kernel::detail
