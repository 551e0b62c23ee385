// Timers. A timer is set to expire after a relative time or at a system
// time, once or periodically; at each expiry it becomes signalled and its
// deferred procedure call, when it has one, is queued (see dpc.h). Timers due
// at the same time expire in the order they were set; a periodic timer counts
// as set again at each expiry.
#pragma once

#include "platform/kernel/dispatcher.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/time.h"

#include <cstdint>

namespace kernel {

enum class TimerType {
    Notification,    // stays signalled until set again
    Synchronization, // a satisfied wait clears it
};

class Timer final : public DispatcherObject {
public:
    explicit Timer(TimerType type = TimerType::Notification) : type_(type) {}
    ~Timer(); // destroying a set timer fails a check (and takes it out of the queue)

    // Each returns whether the timer was set before (it is cancelled first).
    // A zero period sets a one-shot timer.
    bool set(Duration dueIn, Duration period = Duration::zero(), Dpc* dpc = nullptr);
    // As set, but on the real clock each expiry may come up to `tolerableDelay`
    // late, so that it shares a wake of the clock's service with another
    // timer's (a periodic timer keeps its cadence: the next due time is one
    // period after the last; the delay is capped at a day). A manual clock
    // expires it at its due time.
    bool setCoalescable(Duration dueIn, Duration period, Duration tolerableDelay,
                        Dpc* dpc = nullptr);
    bool setAbsolute(std::int64_t systemTime, Duration period = Duration::zero(),
                     Dpc* dpc = nullptr);
    // Returns whether the timer was set; a call already queued stays queued.
    bool cancel();

    bool readState() const; // signalled
    bool isSet() const;

private:
    friend struct TimerQueue;
    bool signalledFor(const void* thread) const override;
    void satisfyWait(const void* thread) override;

    const TimerType type_;
    // under the kernel's lock
    bool signalled_ = false;
    bool queued_ = false;
    Duration due_{0};
    Duration period_{0};
    Duration tolerance_{0};
    Dpc* dpc_ = nullptr;
    std::uint64_t order_ = 0;
};

// Timers set right now.
std::size_t timersSet();

} // namespace kernel
