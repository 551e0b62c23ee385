// One clock for all time: timed waits, timers and deferred procedure calls,
// system time and the performance counter all read the clock in force.
// Programs run on the real clock. A test installs a ManualClock, which stands
// still until the test advances it; advancing fires the due timers in order
// and ends the timed waits that ran out, and settling lets every thread of
// the layer catch up, so a test never sleeps and every run sees the same
// sequence of events.
#pragma once

#include "platform/kernel/time.h"

#include <atomic>
#include <cstdint>

namespace kernel {

class Clock {
public:
    virtual ~Clock() = default;
    // Time since the clock started; never goes back.
    virtual Duration now() const = 0;
    // System time (100 ns units since 1601-01-01 UTC) at the given clock time.
    virtual std::int64_t systemTimeAt(Duration clockTime) const = 0;
};

class ManualClock final : public Clock {
public:
    // Installs itself as the clock in force; the destructor puts the real clock back.
    // Only one manual clock at a time, installed while no timer is set.
    explicit ManualClock(std::int64_t systemTimeAtStart = defaultSystemTimeAtStart);
    ~ManualClock() override;
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    Duration now() const override;
    std::int64_t systemTimeAt(Duration clockTime) const override;

    // Moves time forward. Deferred procedure calls queued so far run first;
    // then it stops at every timer expiry on the way: the timer is signalled
    // and its call queued, and the queued calls run on this thread at
    // dispatch level before time moves on. It also stops at every deadline of
    // a timed wait, which has timed out when nothing it waits for is signalled
    // by then; such waits end when the advance does. Passive level only;
    // advances, settles and flushes from several threads take turns.
    void advance(Duration step);

    // Lets everything the last step set going run to a standstill without
    // moving time: runs the queued deferred procedure calls on this thread
    // and waits until every system thread and the work-item worker has ended
    // or is blocked in a wait having seen every change, again and again until
    // nothing more happens. Passive level only. A thread that neither blocks
    // nor ends within a guard time (which only keeps a broken test from
    // hanging) fails a check.
    void settle();

    // 2020-01-01 00:00 UTC.
    static constexpr std::int64_t defaultSystemTimeAtStart = 132223104000000000;

private:
    const std::int64_t systemTimeAtStart_;
    std::atomic<Duration> now_{Duration::zero()}; // changed under the kernel's lock
};

const Clock& currentClock();

// System time in 100 ns units since 1601-01-01 UTC.
std::int64_t querySystemTime();

// The performance counter and its frequency (counts per second).
std::int64_t queryPerformanceCounter(std::int64_t* frequency = nullptr);
inline constexpr std::int64_t performanceFrequency = 10'000'000;

// Requests for a finer system timer resolution (passive level only). Each
// request with set = true counts until one with set = false gives it back; a
// give-back without an outstanding request is ignored. Returns the resolution
// in force (100 ns units).
std::uint32_t setTimerResolution(std::uint32_t desired, bool set);
int timerResolutionRequests();
inline constexpr std::uint32_t defaultTimerResolution = 156250;
inline constexpr std::uint32_t finestTimerResolution = 10000;

} // namespace kernel
