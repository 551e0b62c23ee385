#include "platform/kernel/clock.h"
#include "platform/kernel/event.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/thread.h"
#include "platform/kernel/work_item.h"
#include "platform/testing/kernel_checks.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace kernel;
using kernel::testing::ExpectKernelChecks;

struct Worker {
    Event go{EventType::Notification, false};
    std::thread::id ranOn;
    Irql level = Irql::Dispatch;
    static void run(void* context) {
        auto* self = static_cast<Worker*>(context);
        self->ranOn = std::this_thread::get_id();
        self->level = currentIrql();
        waitForSingleObject(self->go, Timeout::infinite());
    }
};

TEST(SystemThread, RunsItsRoutineAndIsSignalledAtItsEnd) {
    Worker worker;
    ThreadObject* thread = nullptr;
    ASSERT_EQ(createSystemThread(&thread, Worker::run, &worker), STATUS_SUCCESS);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(awaitBlockedThreads(1));
    EXPECT_EQ(waitForSingleObject(*thread, Duration::zero()), STATUS_TIMEOUT);
    EXPECT_EQ(runningSystemThreads(), 1u);

    worker.go.set();
    EXPECT_EQ(waitForSingleObject(*thread, Timeout::infinite()), STATUS_SUCCESS);
    EXPECT_NE(worker.ranOn, std::this_thread::get_id());
    EXPECT_EQ(worker.level, Irql::Passive);
    EXPECT_EQ(runningSystemThreads(), 0u);
    dereferenceObject(*thread);
}

TEST(SystemThread, RecordsItsPriorityChanges) {
    Worker worker;
    ThreadObject* thread = nullptr;
    ASSERT_EQ(createSystemThread(&thread, Worker::run, &worker), STATUS_SUCCESS);
    EXPECT_EQ(thread->priority(), ThreadObject::defaultPriority);
    EXPECT_EQ(setThreadPriority(*thread, 31), ThreadObject::defaultPriority);
    EXPECT_EQ(setThreadPriority(*thread, 24), 31);
    EXPECT_EQ(thread->priorityHistory(), (std::vector<int>{31, 24}));
    worker.go.set();
    waitForSingleObject(*thread, Timeout::infinite());
    dereferenceObject(*thread);
}

TEST(SystemThread, ObjectOutlivesTheThreadWhileReferenced) {
    // The thread ends before the creator looks; its object stays until dereferenced.
    ThreadObject* thread = nullptr;
    ASSERT_EQ(createSystemThread(
                  &thread, [](void*) {}, nullptr),
              STATUS_SUCCESS);
    EXPECT_EQ(waitForSingleObject(*thread, Timeout::infinite()), STATUS_SUCCESS);
    EXPECT_EQ(poolLiveBlocks(poolTag("Thre")), 1u);
    dereferenceObject(*thread);
    EXPECT_EQ(poolLiveBlocks(poolTag("Thre")), 0u);
}

TEST(SystemThread, CreationFailsCleanlyWhenThePoolRefuses) {
    failPoolTag(poolTag("Thre"));
    ThreadObject* thread = reinterpret_cast<ThreadObject*>(1);
    EXPECT_EQ(createSystemThread(
                  &thread, [](void*) {}, nullptr),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(thread, nullptr);
    EXPECT_EQ(runningSystemThreads(), 0u);
}

TEST(SystemThread, AThreadTheSystemCannotStartLeavesNothingBehind) {
    ManualClock clock;
    const std::size_t running = runningSystemThreads();
    const std::uint64_t serial = poolAllocationSerial();
    failSystemThreadStarts(true);
    ThreadObject* thread = reinterpret_cast<ThreadObject*>(1);
    EXPECT_EQ(createSystemThread(
                  &thread, [](void*) {}, nullptr),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(thread, nullptr);
    EXPECT_EQ(runningSystemThreads(), running);
    EXPECT_TRUE(poolBlocksSince(serial).empty()); // the object and its block are gone
    clock.settle(); // and the kernel waits for no thread that never started

    failSystemThreadStarts(false);
    ASSERT_EQ(createSystemThread(
                  &thread, [](void*) {}, nullptr),
              STATUS_SUCCESS);
    EXPECT_EQ(waitForSingleObject(*thread, Timeout::infinite()), STATUS_SUCCESS);
    dereferenceObject(*thread);
}

TEST(SystemThread, EndingWhileHoldingASpinLevelIsCaught) {
    ExpectKernelChecks expect;
    ThreadObject* thread = nullptr;
    ASSERT_EQ(createSystemThread(
                  &thread, [](void*) { raiseIrql(Irql::Dispatch); }, nullptr),
              STATUS_SUCCESS);
    waitForSingleObject(*thread, Timeout::infinite());
    dereferenceObject(*thread);
    EXPECT_EQ(expect.count(), 1u);
}

struct WorkLog {
    std::mutex lock;
    std::vector<int> order;
    std::vector<Irql> levels;
    std::thread::id ranOn;
};

struct Job {
    WorkLog* log;
    int id;
    static void run(void* context) {
        auto* job = static_cast<Job*>(context);
        std::lock_guard guard(job->log->lock);
        job->log->order.push_back(job->id);
        job->log->levels.push_back(currentIrql());
        job->log->ranOn = std::this_thread::get_id();
    }
};

TEST(WorkItem, RunsLaterAtPassiveLevelInQueueOrder) {
    ManualClock clock;
    WorkLog log;
    // A first item holds the worker, so the others all wait in the queue together.
    Event release(EventType::Notification, false);
    WorkItem* blocker = allocateWorkItem();
    ASSERT_NE(blocker, nullptr);
    queueWorkItem(
        *blocker,
        [](void* e) { waitForSingleObject(*static_cast<Event*>(e), Timeout::infinite()); },
        &release);
    clock.settle();

    Job jobs[3] = {{&log, 1}, {&log, 2}, {&log, 3}};
    WorkItem* items[3];
    for (WorkItem*& item : items) ASSERT_NE(item = allocateWorkItem(), nullptr);
    {
        // Queued from dispatch level, as a deferred procedure call does.
        IrqlScope atDispatch(Irql::Dispatch);
        for (int i = 0; i < 3; ++i) queueWorkItem(*items[i], Job::run, &jobs[i]);
    }
    release.set();
    clock.settle();
    EXPECT_EQ(pendingWorkItems(), 0u);
    EXPECT_EQ(log.order, (std::vector<int>{1, 2, 3}));
    for (Irql level : log.levels) EXPECT_EQ(level, Irql::Passive);
    EXPECT_NE(log.ranOn, std::this_thread::get_id());
    for (WorkItem* item : items) freeWorkItem(item);
    freeWorkItem(blocker);
}

TEST(WorkItem, RoutineMayFreeItsOwnItem) {
    struct SelfFreeing {
        WorkItem* item;
        bool ran = false;
    } state{allocateWorkItem()};
    ASSERT_NE(state.item, nullptr);
    queueWorkItem(
        *state.item,
        [](void* context) {
            auto* s = static_cast<SelfFreeing*>(context);
            s->ran = true;
            freeWorkItem(s->item);
        },
        &state);
    drainWorkItems();
    EXPECT_TRUE(state.ran);
}

TEST(WorkItem, QueuingTwiceOrFreeingWhileQueuedIsCaught) {
    Event hold(EventType::Notification, false);
    WorkItem* blocker = allocateWorkItem();
    WorkItem* item = allocateWorkItem();
    // Keep the worker busy so the second item stays queued.
    queueWorkItem(
        *blocker,
        [](void* e) { waitForSingleObject(*static_cast<Event*>(e), Timeout::infinite()); }, &hold);
    queueWorkItem(
        *item, [](void*) {}, nullptr);
    {
        ExpectKernelChecks expect;
        queueWorkItem(
            *item, [](void*) {}, nullptr);
        freeWorkItem(item);
        EXPECT_EQ(expect.count(), 2u);
    }
    hold.set();
    drainWorkItems();
    freeWorkItem(item);
    freeWorkItem(blocker);
}

TEST(WorkItem, AllocationFailureIsReported) {
    failPoolTag(poolTag("IoWk"));
    EXPECT_EQ(allocateWorkItem(), nullptr);
}

} // namespace
