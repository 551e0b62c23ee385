#include "platform/kernel/dispatcher.h"

#include "platform/kernel/check.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/detail/dispatcher.h"
#include "platform/kernel/detail/irql.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/thread_wakeups.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <vector>

namespace kernel {
namespace {

class RealClock final : public Clock {
public:
    RealClock()
        : origin_(std::chrono::steady_clock::now()),
          systemTimeAtOrigin_(unixEpochInSystemTime +
                              std::chrono::duration_cast<Duration>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count()) {}

    Duration now() const override {
        return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now() - origin_);
    }
    std::int64_t systemTimeAt(Duration clockTime) const override {
        return systemTimeAtOrigin_ + clockTime.count();
    }
    std::chrono::steady_clock::time_point realTimeAt(Duration clockTime) const {
        return origin_ + clockTime;
    }

private:
    static constexpr std::int64_t unixEpochInSystemTime = 116444736000000000;
    const std::chrono::steady_clock::time_point origin_;
    const std::int64_t systemTimeAtOrigin_;
};

// A thread blocked in the kernel: its own condition variable, so a change
// wakes only the threads whose wake condition holds.
struct Waiter {
    std::condition_variable wake;
    detail::WakeCondition wakeIf;
    bool counted = false;      // shows in awaitBlockedThreads
    bool kernelThread = false; // shows in a manual clock's settle
    bool realClock = false;    // the real clock was in force when it blocked
    bool woken = false;
};

// Never destroyed: threads of the layer may still use it while the program ends.
struct Dispatcher {
    std::mutex lock;
    // Notified when a thread blocks or anything changes, for those that wait
    // for threads to block (awaitBlockedThreads, a manual clock's settle).
    std::condition_variable blockedChanged;
    // Threads blocked now; those not yet woken have seen every change made
    // since they blocked (their wake condition did not hold for it).
    std::vector<Waiter*> waiters;
    std::size_t blocked = 0;
    std::size_t kernelThreadsBlocked = 0;
    std::uint64_t wakeups = 0;
    std::size_t kernelThreads = 0; // enrolled and not yet ended
    bool clockTurnTaken = false;
    std::size_t clockTurnWaiters = 0;
    std::vector<detail::TimedWait*> timedWaits;
    RealClock realClock;
    std::atomic<const Clock*> clock{&realClock};
};

Dispatcher& dispatcher() {
    static Dispatcher* instance = new Dispatcher;
    return *instance;
}

thread_local bool onKernelThread = false;

void uncount(Dispatcher& d, const Waiter& waiter) {
    d.blocked -= waiter.counted;
    d.kernelThreadsBlocked -= waiter.kernelThread;
}

// Blocks once; `counted` threads show in awaitBlockedThreads, threads of the
// layer in a manual clock's settle.
void block(std::unique_lock<std::mutex>& lock, std::optional<Duration> deadline, bool counted,
           detail::WakeCondition wakeIf) {
    Dispatcher& d = dispatcher();
    Waiter self;
    self.wakeIf = wakeIf;
    self.counted = counted;
    self.kernelThread = onKernelThread;
    self.realClock = detail::realClockInForce();
    d.waiters.push_back(&self);
    d.blocked += self.counted;
    d.kernelThreadsBlocked += self.kernelThread;
    d.blockedChanged.notify_all();
    if (deadline && self.realClock) {
        const auto until = d.realClock.realTimeAt(*deadline);
        while (!self.woken)
            if (self.wake.wait_until(lock, until) == std::cv_status::timeout) break;
    } else {
        while (!self.woken) self.wake.wait(lock);
    }
    d.waiters.erase(std::find(d.waiters.begin(), d.waiters.end(), &self));
    if (!self.woken) uncount(d, self); // its deadline passed in real time
}

} // namespace

namespace detail {

std::unique_lock<std::mutex> lockDispatcher() { return std::unique_lock(dispatcher().lock); }

void wakeWaiters() {
    Dispatcher& d = dispatcher();
    const bool realClock = realClockInForce();
    for (Waiter* waiter : d.waiters) {
        if (waiter->woken) continue;
        if (waiter->realClock == realClock && !waiter->wakeIf.holds()) continue;
        waiter->woken = true;
        ++d.wakeups;
        uncount(d, *waiter);
        waiter->wake.notify_one();
    }
    d.blockedChanged.notify_all();
}

const Clock& clockLocked() { return *dispatcher().clock.load(); }

void installClockLocked(const Clock* clock) {
    dispatcher().clock.store(clock != nullptr ? clock : &dispatcher().realClock);
    wakeWaiters();
}

bool realClockInForce() { return dispatcher().clock.load() == &dispatcher().realClock; }

void blockOnce(std::unique_lock<std::mutex>& lock, std::optional<Duration> deadline,
               WakeCondition wakeIf) {
    block(lock, deadline, true, wakeIf);
}

void idleUntil(std::unique_lock<std::mutex>& lock, std::optional<Duration> deadline,
               WakeCondition wakeIf) {
    block(lock, deadline, false, wakeIf);
}

void enrolKernelThreadLocked() { ++dispatcher().kernelThreads; }

void withdrawKernelThreadLocked() {
    --dispatcher().kernelThreads;
    wakeWaiters();
}

void markKernelThread() { onKernelThread = true; }

bool kernelThreadsSettledLocked() {
    const Dispatcher& d = dispatcher();
    return d.kernelThreadsBlocked + (onKernelThread ? 1 : 0) >= d.kernelThreads;
}

std::size_t kernelThreadsLocked() { return dispatcher().kernelThreads; }

bool awaitThreadChangeLocked(std::unique_lock<std::mutex>& lock,
                             std::chrono::steady_clock::time_point until) {
    return dispatcher().blockedChanged.wait_until(lock, until) == std::cv_status::no_timeout;
}

ClockTurn::ClockTurn(std::unique_lock<std::mutex>& lock) {
    {
        ClockTurnWaiter waiting;
        blockUntil(
            lock, [] { return !clockTurnTaken(); }, std::nullopt);
    }
    dispatcher().clockTurnTaken = true;
}

ClockTurn::~ClockTurn() {
    Dispatcher& d = dispatcher();
    d.clockTurnTaken = false;
    if (d.clockTurnWaiters != 0) wakeWaiters();
}

bool clockTurnTaken() { return dispatcher().clockTurnTaken; }

ClockTurnWaiter::ClockTurnWaiter() { ++dispatcher().clockTurnWaiters; }

ClockTurnWaiter::~ClockTurnWaiter() { --dispatcher().clockTurnWaiters; }

void TimedWait::enter() { dispatcher().timedWaits.push_back(this); }

void TimedWait::leave() {
    std::vector<TimedWait*>& waits = dispatcher().timedWaits;
    waits.erase(std::find(waits.begin(), waits.end(), this));
}

std::optional<Duration> nextWaitDeadlineLocked() {
    std::optional<Duration> next;
    for (const TimedWait* wait : dispatcher().timedWaits)
        if (!wait->decided_ && (!next || wait->deadline_ < *next)) next = wait->deadline_;
    return next;
}

void decideTimedWaitsLocked(Duration now) {
    for (TimedWait* wait : dispatcher().timedWaits) {
        if (wait->decided_ || wait->deadline_ > now) continue;
        wait->decided_ = true;
        wait->timedOut_ = !wait->look_(wait->ready_);
    }
}

} // namespace detail

const Clock& currentClock() { return *dispatcher().clock.load(); }

NTSTATUS waitForAnyObject(std::span<DispatcherObject* const> objects, Timeout timeout) {
    if (!check(!objects.empty() && objects.size() <= maximumWaitObjects,
               "wait on no objects or on too many"))
        return STATUS_INVALID_PARAMETER;
    for (DispatcherObject* object : objects)
        if (!check(object != nullptr, "wait on a null object")) return STATUS_INVALID_PARAMETER;
    if (!timeout.isZero() && !detail::mayWait("wait")) timeout = Duration::zero();

    const void* self = detail::currentThreadKey();
    auto lock = detail::lockDispatcher();
    std::optional<Duration> deadline;
    if (!timeout.isInfinite()) deadline = detail::clockLocked().now() + timeout.relative();

    std::size_t index = 0;
    const auto anySignalled = [&] {
        for (index = 0; index < objects.size(); ++index)
            if (detail::WaitAccess::signalledFor(*objects[index], self)) return true;
        return false;
    };
    if (!detail::blockUntil(lock, anySignalled, deadline)) return STATUS_TIMEOUT;
    detail::WaitAccess::satisfy(*objects[index], self);
    detail::wakeWaiters(); // a satisfied wait may change what others see (a mutex taken)
    return STATUS_WAIT_0 + static_cast<NTSTATUS>(index);
}

NTSTATUS waitForAnyObject(std::initializer_list<DispatcherObject*> objects, Timeout timeout) {
    return waitForAnyObject(std::span<DispatcherObject* const>(objects.begin(), objects.size()),
                            timeout);
}

NTSTATUS waitForSingleObject(DispatcherObject& object, Timeout timeout) {
    DispatcherObject* const objects[] = {&object};
    return waitForAnyObject(objects, timeout);
}

NTSTATUS delayExecution(Duration interval) {
    if (interval <= Duration::zero()) return STATUS_SUCCESS;
    if (!detail::mayWait("delay")) return STATUS_SUCCESS;
    auto lock = detail::lockDispatcher();
    const Duration deadline = detail::clockLocked().now() + interval;
    detail::blockUntil(
        lock, [] { return false; }, deadline);
    return STATUS_SUCCESS;
}

std::size_t blockedThreads() {
    auto lock = detail::lockDispatcher();
    return dispatcher().blocked;
}

std::uint64_t threadWakeups() {
    auto lock = detail::lockDispatcher();
    return dispatcher().wakeups;
}

bool awaitBlockedThreads(std::size_t count, std::chrono::milliseconds guard) {
    Dispatcher& d = dispatcher();
    auto lock = detail::lockDispatcher();
    return d.blockedChanged.wait_for(lock, guard, [&] { return d.blocked >= count; });
}

} // namespace kernel
