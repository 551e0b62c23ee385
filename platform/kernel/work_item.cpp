#include "platform/kernel/work_item.h"

#include "platform/kernel/check.h"
#include "platform/kernel/detail/dispatcher.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"

#include <deque>
#include <new>
#include <thread>

namespace kernel {

class WorkItem {
public:
    WorkItemRoutine routine = nullptr;
    void* context = nullptr;
    bool queued = false; // under the dispatcher lock
};

namespace {

constexpr PoolTag workItemTag = poolTag("IoWk");

// Never destroyed: the worker thread may outlive every static of the program.
struct WorkQueue {
    std::deque<WorkItem*> items;
    std::size_t running = 0;
    std::thread::id worker; // no thread until the first item is queued

    static WorkQueue& instance() {
        static WorkQueue* queue = new WorkQueue;
        return *queue;
    }

    static void serve() {
        detail::markKernelThread();
        WorkQueue& queue = instance();
        auto lock = detail::lockDispatcher();
        const auto hasWork = [&queue] { return !queue.items.empty(); };
        for (;;) {
            if (queue.items.empty()) {
                detail::idleUntil(lock, std::nullopt, detail::WakeCondition::of(hasWork));
                continue;
            }
            WorkItem* item = queue.items.front();
            queue.items.pop_front();
            item->queued = false;
            const WorkItemRoutine routine = item->routine;
            void* const context = item->context;
            ++queue.running;
            lock.unlock();
            routine(context); // may free or queue the item again
            check(currentIrql() == Irql::Passive && spinLocksHeld() == 0,
                  "work item returned above passive level or holding a spin lock");
            lock.lock();
            --queue.running;
            detail::wakeWaiters();
        }
    }
};

} // namespace

WorkItem* allocateWorkItem() {
    void* block = allocatePool(PoolType::NonPagedNx, sizeof(WorkItem), workItemTag);
    return block == nullptr ? nullptr : new (block) WorkItem;
}

void freeWorkItem(WorkItem* item) {
    if (!check(item != nullptr, "free of a null work item")) return;
    {
        auto lock = detail::lockDispatcher();
        if (!check(!item->queued, "work item freed while queued")) return;
    }
    item->~WorkItem();
    freePool(item);
}

void queueWorkItem(WorkItem& item, WorkItemRoutine routine, void* context) {
    if (!check(routine != nullptr, "work item queued without a routine")) return;
    if (!requireIrql(Irql::Dispatch, "work item queueing")) return;
    WorkQueue& queue = WorkQueue::instance();
    auto lock = detail::lockDispatcher();
    if (!check(!item.queued, "work item queued twice")) return;
    item.routine = routine;
    item.context = context;
    item.queued = true;
    queue.items.push_back(&item);
    if (queue.worker == std::thread::id()) {
        detail::enrolKernelThreadLocked();
        std::thread worker(&WorkQueue::serve);
        queue.worker = worker.get_id();
        worker.detach();
    }
    detail::wakeWaiters();
}

void drainWorkItems() {
    if (!detail::mayWait("work item drain")) return;
    WorkQueue& queue = WorkQueue::instance();
    auto lock = detail::lockDispatcher();
    if (!check(std::this_thread::get_id() != queue.worker, "work items drained from the worker"))
        return;
    detail::blockUntil(
        lock, [&] { return queue.items.empty() && queue.running == 0; }, std::nullopt);
}

std::size_t pendingWorkItems() {
    WorkQueue& queue = WorkQueue::instance();
    auto lock = detail::lockDispatcher();
    return queue.items.size() + queue.running;
}

} // namespace kernel
