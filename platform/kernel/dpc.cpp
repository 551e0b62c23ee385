#include "platform/kernel/dpc.h"

#include "platform/kernel/check.h"
#include "platform/kernel/detail/dispatcher.h"
#include "platform/kernel/detail/dpc_queue.h"
#include "platform/kernel/detail/real_clock_service.h"
#include "platform/kernel/irql.h"

#include <algorithm>
#include <deque>

namespace kernel {

// The queue itself; everything here runs under the kernel's lock.
struct DpcQueue {
    std::deque<Dpc*> calls;
    std::size_t running = 0; // taken out of the queue and not yet returned

    static DpcQueue& instance() {
        static DpcQueue* queue = new DpcQueue; // never destroyed, like the dispatcher
        return *queue;
    }

    bool add(Dpc& dpc, void* argument1, void* argument2) {
        if (dpc.queued_) return false;
        dpc.queued_ = true;
        dpc.argument1_ = argument1;
        dpc.argument2_ = argument2;
        calls.push_back(&dpc);
        detail::startRealClockServiceLocked();
        detail::wakeWaiters(); // the service, a settle, a flush
        return true;
    }

    bool remove(Dpc& dpc) {
        if (!dpc.queued_) return false;
        calls.erase(std::find(calls.begin(), calls.end(), &dpc));
        dpc.queued_ = false;
        return true;
    }

    bool runAll(std::unique_lock<std::mutex>& lock) {
        bool ran = false;
        while (!calls.empty()) {
            Dpc& dpc = *calls.front();
            calls.pop_front();
            dpc.queued_ = false;
            const Dpc::Routine routine = dpc.routine_;
            void* const context = dpc.context_;
            void* const argument1 = dpc.argument1_;
            void* const argument2 = dpc.argument2_;
            ++running;
            lock.unlock();
            {
                IrqlScope atDispatch(Irql::Dispatch);
                routine(dpc, context, argument1, argument2); // may free the Dpc
                check(currentIrql() == Irql::Dispatch && spinLocksHeld() == 0,
                      "deferred procedure call returned at another level or holding a spin lock");
            }
            lock.lock();
            --running;
            ran = true;
        }
        if (ran) detail::wakeWaiters(); // a flush waits for the queue to empty
        return ran;
    }
};

Dpc::~Dpc() {
    auto lock = detail::lockDispatcher();
    if (!check(!queued_, "deferred procedure call destroyed while queued"))
        DpcQueue::instance().remove(*this);
}

bool queueDpc(Dpc& dpc, void* argument1, void* argument2) {
    if (!requireIrql(Irql::Dispatch, "DPC queueing")) return false;
    auto lock = detail::lockDispatcher();
    return DpcQueue::instance().add(dpc, argument1, argument2);
}

bool removeQueuedDpc(Dpc& dpc) {
    if (!requireIrql(Irql::Dispatch, "DPC removal")) return false;
    auto lock = detail::lockDispatcher();
    return DpcQueue::instance().remove(dpc);
}

void flushQueuedDpcs() {
    if (!detail::mayWait("DPC flush")) return;
    auto lock = detail::lockDispatcher();
    DpcQueue& queue = DpcQueue::instance();
    const auto done = [&] { return queue.calls.empty() && queue.running == 0; };
    // Under a manual clock the calls run only where the clock's turn is
    // held: an advance or settle in progress runs them, otherwise this thread.
    {
        detail::ClockTurnWaiter waiting;
        detail::blockUntil(
            lock,
            [&] { return done() || (!detail::realClockInForce() && !detail::clockTurnTaken()); },
            std::nullopt);
    }
    if (done()) return;
    detail::ClockTurn turn(lock);
    queue.runAll(lock);
}

std::size_t queuedDpcs() {
    auto lock = detail::lockDispatcher();
    return DpcQueue::instance().calls.size();
}

namespace detail {

bool queueDpcLocked(Dpc& dpc, void* argument1, void* argument2) {
    return DpcQueue::instance().add(dpc, argument1, argument2);
}

bool runQueuedDpcs(std::unique_lock<std::mutex>& lock) { return DpcQueue::instance().runAll(lock); }

bool dpcsQueuedLocked() { return !DpcQueue::instance().calls.empty(); }

} // namespace detail

} // namespace kernel
