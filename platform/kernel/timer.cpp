#include "platform/kernel/timer.h"

#include "platform/kernel/check.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/detail/dispatcher.h"
#include "platform/kernel/irql.h"

#include <algorithm>
#include <optional>
#include <thread>
#include <vector>

namespace kernel {
namespace {

std::optional<Duration> earliest(std::optional<Duration> a, std::optional<Duration> b) {
    if (!a || !b) return a ? a : b;
    return std::min(*a, *b);
}

} // namespace

// The queue of set timers and the firing of expiries; everything here runs
// under the dispatcher lock unless it says otherwise.
struct TimerQueue {
    std::vector<Timer*> timers;
    std::uint64_t nextOrder = 1;
    std::size_t dpcsInFlight = 0;
    bool realClockServiceStarted = false;

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

    // Expires every timer due by `now`, in order, and returns the calls to run.
    std::vector<Dpc*> fireDue(Duration now) {
        std::vector<Dpc*> calls;
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
            if (timer->dpc_ != nullptr) calls.push_back(timer->dpc_);
        }
        dpcsInFlight += calls.size();
        if (fired) detail::wakeWaiters();
        return calls;
    }

    // Runs the calls at dispatch level, without the lock.
    void run(std::unique_lock<std::mutex>& lock, const std::vector<Dpc*>& calls) {
        if (calls.empty()) return;
        lock.unlock();
        {
            IrqlScope atDispatch(Irql::Dispatch);
            for (Dpc* call : calls) {
                const int locksBefore = spinLocksHeld();
                call->routine_(*call, call->context_);
                check(currentIrql() == Irql::Dispatch && spinLocksHeld() == locksBefore,
                      "deferred procedure call returned at another level or holding a spin lock");
            }
        }
        lock.lock();
        dpcsInFlight -= calls.size();
        detail::wakeWaiters();
    }

    static void realClockService() {
        TimerQueue& queue = instance();
        auto lock = detail::lockDispatcher();
        for (;;) {
            const std::optional<Duration> next =
                detail::realClockInForce() ? queue.nextExpiry() : std::nullopt;
            if (next && *next <= detail::clockLocked().now()) {
                queue.run(lock, queue.fireDue(detail::clockLocked().now()));
                continue;
            }
            detail::idleUntil(lock, next);
        }
    }

    void startRealClockService() {
        if (realClockServiceStarted || !detail::realClockInForce()) return;
        realClockServiceStarted = true;
        std::thread(realClockService).detach();
    }

    bool set(Timer& timer, Duration due, Duration period, Dpc* dpc) {
        check(period >= Duration::zero(), "timer set with a negative period");
        const bool wasSet = timer.queued_;
        if (wasSet) remove(timer);
        timer.signalled_ = false;
        timer.due_ = due;
        timer.period_ = std::max(period, Duration::zero());
        timer.dpc_ = dpc;
        insert(timer);
        startRealClockService();
        detail::wakeWaiters();
        return wasSet;
    }
};

Timer::~Timer() {
    auto lock = detail::lockDispatcher();
    if (!check(!queued_, "timer destroyed while set")) TimerQueue::instance().remove(*this);
}

bool Timer::set(Duration dueIn, Duration period, Dpc* dpc) {
    auto lock = detail::lockDispatcher();
    const Duration now = detail::clockLocked().now();
    return TimerQueue::instance().set(*this, now + std::max(dueIn, Duration::zero()), period, dpc);
}

bool Timer::setAbsolute(std::int64_t systemTime, Duration period, Dpc* dpc) {
    auto lock = detail::lockDispatcher();
    const Clock& clock = detail::clockLocked();
    const Duration now = clock.now();
    const Duration dueIn(systemTime - clock.systemTimeAt(now));
    return TimerQueue::instance().set(*this, now + std::max(dueIn, Duration::zero()), period, dpc);
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

void flushTimerDpcs() {
    if (!detail::checkMayWait()) return;
    auto lock = detail::lockDispatcher();
    TimerQueue& queue = TimerQueue::instance();
    detail::blockUntil(
        lock, [&] { return queue.dpcsInFlight == 0; }, std::nullopt);
}

void ManualClock::advance(Duration step) {
    if (!check(currentIrql() == Irql::Passive, "manual clock advanced above passive level")) return;
    if (!check(step >= Duration::zero(), "manual clock advanced backwards")) return;

    TimerQueue& queue = TimerQueue::instance();
    auto lock = detail::lockDispatcher();
    if (!check(&detail::clockLocked() == this, "advance of a manual clock that is not in force"))
        return;
    // One advance at a time: another one, started while this one runs its
    // calls without the lock, would run calls of later expiries beside them
    // and could leave the clock behind where it had already been.
    detail::blockUntil(
        lock, [&] { return !advancing_; }, std::nullopt);
    advancing_ = true;
    const Duration target = now_.load() + step;
    for (;;) {
        const std::optional<Duration> next =
            earliest(queue.nextExpiry(), detail::nextWaitDeadlineLocked());
        if (!next || *next > target) break;
        now_.store(std::max(now_.load(), *next));
        queue.run(lock, queue.fireDue(now_.load()));
        // A call at this very time may still signal what a wait is for.
        detail::decideTimedWaitsLocked(now_.load());
    }
    now_.store(target);
    advancing_ = false;
    detail::wakeWaiters(); // timed waits that ran out end now, and a waiting advance starts
}

namespace detail {
std::size_t timersQueuedLocked() { return TimerQueue::instance().timers.size(); }
void dropAllTimersLocked() {
    TimerQueue& queue = TimerQueue::instance();
    while (!queue.timers.empty()) queue.remove(*queue.timers.front());
}
} // namespace detail

} // namespace kernel
