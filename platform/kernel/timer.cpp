#include "platform/kernel/timer.h"

#include "platform/kernel/check.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/detail/dispatcher.h"
#include "platform/kernel/detail/dpc_queue.h"
#include "platform/kernel/detail/real_clock_service.h"
#include "platform/kernel/detail/timer_queue.h"

#include <algorithm>
#include <vector>

namespace kernel {

constexpr Duration longestTolerance = std::chrono::hours(24);

// The queue of set timers; everything here runs under the kernel's lock.
struct TimerQueue {
    std::vector<Timer*> timers;
    std::uint64_t nextOrder = 1;

    static TimerQueue& instance() {
        static TimerQueue* queue = new TimerQueue; // never destroyed, like the dispatcher
        return *queue;
    }

    void insert(Timer& timer) {
        timer.queued_ = true;
        timer.order_ = nextOrder++;
        timers.push_back(&timer);
    }

    void remove(Timer& timer) {
        timers.erase(std::remove(timers.begin(), timers.end(), &timer), timers.end());
        timer.queued_ = false;
    }

    Timer* earliest() const {
        Timer* first = nullptr;
        for (Timer* timer : timers)
            if (first == nullptr || timer->due_ < first->due_ ||
                (timer->due_ == first->due_ && timer->order_ < first->order_))
                first = timer;
        return first;
    }

    std::optional<Duration> nextExpiry() const {
        const Timer* first = earliest();
        if (first == nullptr) return std::nullopt;
        return first->due_;
    }

    std::optional<Duration> latestWake() const {
        std::optional<Duration> wake;
        for (const Timer* timer : timers)
            if (!wake || timer->due_ + timer->tolerance_ < *wake)
                wake = timer->due_ + timer->tolerance_;
        return wake;
    }

    void expireDue(Duration now) {
        bool fired = false;
        for (Timer* timer = earliest(); timer != nullptr && timer->due_ <= now;
             timer = earliest()) {
            timer->signalled_ = true;
            fired = true;
            if (timer->period_ > Duration::zero()) {
                timer->due_ += timer->period_;
                timer->order_ = nextOrder++;
            } else {
                remove(*timer);
            }
            if (timer->dpc_ != nullptr) detail::queueDpcLocked(*timer->dpc_, nullptr, nullptr);
        }
        if (fired) detail::wakeWaiters();
    }

    bool set(Timer& timer, Duration due, Duration period, Duration tolerance, Dpc* dpc) {
        check(period >= Duration::zero(), "timer set with a negative period");
        const bool wasSet = timer.queued_;
        if (wasSet) remove(timer);
        timer.signalled_ = false;
        timer.due_ = due;
        timer.period_ = std::max(period, Duration::zero());
        // Capped, so that a due time plus its tolerance stays far from overflow.
        timer.tolerance_ = std::clamp(tolerance, Duration::zero(), longestTolerance);
        timer.dpc_ = dpc;
        insert(timer);
        detail::startRealClockServiceLocked();
        detail::wakeWaiters();
        return wasSet;
    }
};

Timer::~Timer() {
    auto lock = detail::lockDispatcher();
    if (!check(!queued_, "timer destroyed while set")) TimerQueue::instance().remove(*this);
}

bool Timer::set(Duration dueIn, Duration period, Dpc* dpc) {
    return setCoalescable(dueIn, period, Duration::zero(), dpc);
}

bool Timer::setCoalescable(Duration dueIn, Duration period, Duration tolerableDelay, Dpc* dpc) {
    auto lock = detail::lockDispatcher();
    const Duration now = detail::clockLocked().now();
    return TimerQueue::instance().set(*this, now + std::max(dueIn, Duration::zero()), period,
                                      tolerableDelay, dpc);
}

bool Timer::setAbsolute(std::int64_t systemTime, Duration period, Dpc* dpc) {
    auto lock = detail::lockDispatcher();
    const Clock& clock = detail::clockLocked();
    const Duration now = clock.now();
    const Duration dueIn(systemTime - clock.systemTimeAt(now));
    return TimerQueue::instance().set(*this, now + std::max(dueIn, Duration::zero()), period,
                                      Duration::zero(), dpc);
}

bool Timer::cancel() {
    auto lock = detail::lockDispatcher();
    const bool wasSet = queued_;
    if (wasSet) TimerQueue::instance().remove(*this);
    return wasSet;
}

bool Timer::readState() const {
    auto lock = detail::lockDispatcher();
    return signalled_;
}

bool Timer::isSet() const {
    auto lock = detail::lockDispatcher();
    return queued_;
}

bool Timer::signalledFor(const void*) const { return signalled_; }

void Timer::satisfyWait(const void*) {
    if (type_ == TimerType::Synchronization) signalled_ = false;
}

std::size_t timersSet() {
    auto lock = detail::lockDispatcher();
    return TimerQueue::instance().timers.size();
}

namespace detail {

std::optional<Duration> nextTimerExpiryLocked() { return TimerQueue::instance().nextExpiry(); }

std::optional<Duration> nextTimerWakeLocked() { return TimerQueue::instance().latestWake(); }

void expireTimersLocked(Duration now) { TimerQueue::instance().expireDue(now); }

std::size_t timersQueuedLocked() { return TimerQueue::instance().timers.size(); }

void dropAllTimersLocked() {
    TimerQueue& queue = TimerQueue::instance();
    while (!queue.timers.empty()) queue.remove(*queue.timers.front());
}

} // namespace detail

} // namespace kernel
