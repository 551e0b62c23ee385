#include "platform/kernel/clock.h"

#include "platform/kernel/check.h"
#include "platform/kernel/detail/dispatcher.h"

#include <atomic>

namespace kernel {

ManualClock::ManualClock(std::int64_t systemTimeAtStart) : systemTimeAtStart_(systemTimeAtStart) {
    auto lock = detail::lockDispatcher();
    check(detail::realClockInForce(), "a second manual clock installed");
    check(detail::timersQueuedLocked() == 0, "manual clock installed while timers are set");
    detail::dropAllTimersLocked();
    detail::installClockLocked(this);
}

ManualClock::~ManualClock() {
    auto lock = detail::lockDispatcher();
    if (!check(detail::timersQueuedLocked() == 0,
               "timers still set when their manual clock went away"))
        detail::dropAllTimersLocked();
    if (&detail::clockLocked() == this) detail::installClockLocked(nullptr);
}

Duration ManualClock::now() const { return now_.load(); }

std::int64_t ManualClock::systemTimeAt(Duration clockTime) const {
    return systemTimeAtStart_ + clockTime.count();
}

void ManualClock::block(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                        std::optional<Duration>) const {
    // Only advance() moves time, and it wakes every waiter when it does.
    changed.wait(lock);
}

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
}

std::uint32_t setTimerResolution(std::uint32_t, bool set) {
    if (set) {
        ++resolutionRequests;
    } else {
        int outstanding = resolutionRequests.load();
        while (outstanding > 0 &&
               !resolutionRequests.compare_exchange_weak(outstanding, outstanding - 1)) {
        }
    }
    return resolutionRequests.load() > 0 ? finestTimerResolution : defaultTimerResolution;
}

int timerResolutionRequests() { return resolutionRequests.load(); }

} // namespace kernel
