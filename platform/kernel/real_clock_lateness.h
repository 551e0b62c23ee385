// How late the real clock's service thread woke for the timers it waited on:
// the thread that fires timers and runs deferred calls on the real clock. A
// run on the wall clock that lost time reads this to tell a machine that
// held the service back from a fault of its own.
#pragma once

#include <chrono>
#include <cstdint>

namespace kernel {

struct RealClockLateness {
    std::uint64_t timedWakes = 0; // wakes for a timer's deadline
    std::uint64_t lateWakes = 0;  // those later than the allowance asked
    std::chrono::microseconds worst{0};
};

// What the service saw since the last reset, counting as late a wake that
// came more than `allowance` after its deadline.
RealClockLateness realClockLateness();
void resetRealClockLateness(std::chrono::microseconds allowance);

} // namespace kernel
