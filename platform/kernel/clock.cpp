#include "platform/kernel/clock.h"

#include "platform/kernel/irql.h"

#include <atomic>

namespace kernel {

std::int64_t querySystemTime() {
    const Clock& clock = currentClock();
    return clock.systemTimeAt(clock.now());
}

std::int64_t queryPerformanceCounter(std::int64_t* frequency) {
    if (frequency != nullptr) *frequency = performanceFrequency;
    return currentClock().now().count();
}

namespace {

std::atomic<int> resolutionRequests{0};

std::uint32_t resolutionInForce() {
    return resolutionRequests.load() > 0 ? finestTimerResolution : defaultTimerResolution;
}

} // namespace

std::uint32_t setTimerResolution(std::uint32_t, bool set) {
    if (!requireIrql(Irql::Passive, "timer resolution request")) return resolutionInForce();
    if (set) {
        ++resolutionRequests;
    } else {
        int outstanding = resolutionRequests.load();
        while (outstanding > 0 &&
               !resolutionRequests.compare_exchange_weak(outstanding, outstanding - 1)) {
        }
    }
    return resolutionInForce();
}

int timerResolutionRequests() { return resolutionRequests.load(); }

} // namespace kernel
