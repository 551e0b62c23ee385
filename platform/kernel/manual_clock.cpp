#include "platform/kernel/clock.h"

#include "platform/kernel/check.h"
#include "platform/kernel/detail/dispatcher.h"
#include "platform/kernel/detail/dpc_queue.h"
#include "platform/kernel/detail/real_clock_service.h"
#include "platform/kernel/detail/timer_queue.h"
#include "platform/kernel/irql.h"

#include <algorithm>
#include <chrono>

namespace kernel {
namespace {

// Only keeps a broken test from hanging; a settle that works never waits this long.
constexpr std::chrono::seconds settleGuard{20};

std::optional<Duration> earliest(std::optional<Duration> a, std::optional<Duration> b) {
    if (!a || !b) return a ? a : b;
    return std::min(*a, *b);
}

bool inForce(const ManualClock& clock, const char* what) {
    return check(&detail::clockLocked() == &clock, what);
}

} // namespace

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
    if (&detail::clockLocked() != this) return;
    detail::installClockLocked(nullptr);
    // Calls still queued run on the real clock's service, not never.
    if (detail::dpcsQueuedLocked()) detail::startRealClockServiceLocked();
}

Duration ManualClock::now() const { return now_.load(); }

std::int64_t ManualClock::systemTimeAt(Duration clockTime) const {
    return systemTimeAtStart_ + clockTime.count();
}

void ManualClock::advance(Duration step) {
    if (!requireIrql(Irql::Passive, "manual clock advance")) return;
    if (!check(step >= Duration::zero(), "manual clock advanced backwards")) return;

    auto lock = detail::lockDispatcher();
    if (!inForce(*this, "advance of a manual clock that is not in force")) return;
    // One at a time: another advance, running its calls beside these, would
    // run calls of later expiries before earlier ones and could leave the
    // clock behind where it had already been.
    detail::ClockTurn turn(lock);
    const Duration target = now_.load() + step;
    detail::runQueuedDpcs(lock);
    for (;;) {
        const std::optional<Duration> next =
            earliest(detail::nextTimerExpiryLocked(), detail::nextWaitDeadlineLocked());
        if (!next || *next > target) break;
        now_.store(std::max(now_.load(), *next));
        detail::expireTimersLocked(now_.load());
        detail::runQueuedDpcs(lock);
        // A call at this very time may still signal what a wait is for.
        detail::decideTimedWaitsLocked(now_.load());
    }
    now_.store(target);
    detail::wakeWaiters(); // timed waits that ran out end now
}

void ManualClock::settle() {
    if (!requireIrql(Irql::Passive, "manual clock settle")) return;
    auto lock = detail::lockDispatcher();
    if (!inForce(*this, "settle of a manual clock that is not in force")) return;
    detail::ClockTurn turn(lock);
    const auto giveUpAt = std::chrono::steady_clock::now() + settleGuard;
    for (;;) {
        if (detail::runQueuedDpcs(lock)) continue;
        if (detail::kernelThreadsSettledLocked()) return;
        if (!detail::awaitThreadChangeLocked(lock, giveUpAt)) break;
    }
    failCheck("manual clock did not settle: a thread of the layer neither blocked nor ended");
}

} // namespace kernel
