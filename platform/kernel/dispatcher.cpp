#include "platform/kernel/dispatcher.h"

#include "platform/kernel/check.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/detail/dispatcher.h"
#include "platform/kernel/detail/irql.h"
#include "platform/kernel/irql.h"

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

// Never destroyed: threads of the layer may still use it while the program ends.
struct Dispatcher {
    std::mutex lock;
    std::condition_variable changed;
    // Notified when a thread blocks or anything changes, for those that wait
    // for threads to block (awaitBlockedThreads, a manual clock's settle).
    std::condition_variable blockedChanged;
    // Threads blocked since the last change: each woken thread is counted
    // again only once it has looked at the change and blocked anew.
    std::uint64_t generation = 0;
    std::size_t blocked = 0;
    std::size_t kernelThreadsBlocked = 0;
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

// Blocks once; `counted` threads show in awaitBlockedThreads, threads of the
// layer in a manual clock's settle.
void block(std::unique_lock<std::mutex>& lock, std::optional<Duration> deadline, bool counted) {
    Dispatcher& d = dispatcher();
    const std::uint64_t generation = d.generation;
    const bool kernelThread = onKernelThread;
    d.blocked += counted;
    d.kernelThreadsBlocked += kernelThread;
    d.blockedChanged.notify_all();
    if (deadline && detail::realClockInForce())
        d.changed.wait_until(lock, d.realClock.realTimeAt(*deadline));
    else
        d.changed.wait(lock);
    if (d.generation != generation) return; // the change zeroed the counts
    d.blocked -= counted;
    d.kernelThreadsBlocked -= kernelThread;
}

} // namespace

namespace detail {

std::unique_lock<std::mutex> lockDispatcher() { return std::unique_lock(dispatcher().lock); }

void wakeWaiters() {
    Dispatcher& d = dispatcher();
    ++d.generation;
    d.blocked = 0;
    d.kernelThreadsBlocked = 0;
    d.changed.notify_all();
    d.blockedChanged.notify_all();
}

const Clock& clockLocked() { return *dispatcher().clock.load(); }

void installClockLocked(const Clock* clock) {
    dispatcher().clock.store(clock != nullptr ? clock : &dispatcher().realClock);
    wakeWaiters();
}

bool realClockInForce() { return dispatcher().clock.load() == &dispatcher().realClock; }

void blockOnce(std::unique_lock<std::mutex>& lock, std::optional<Duration> deadline) {
    block(lock, deadline, true);
}

void idleUntil(std::unique_lock<std::mutex>& lock, std::optional<Duration> deadline) {
    block(lock, deadline, false);
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

bool awaitBlockedThreads(std::size_t count, std::chrono::milliseconds guard) {
    Dispatcher& d = dispatcher();
    auto lock = detail::lockDispatcher();
    return d.blockedChanged.wait_for(lock, guard, [&] { return d.blocked >= count; });
}

} // namespace kernel
