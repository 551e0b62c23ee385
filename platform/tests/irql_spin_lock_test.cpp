#include "platform/kernel/event.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/mutex.h"
#include "platform/kernel/spin_lock.h"
#include "platform/testing/kernel_checks.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using namespace kernel;
using kernel::testing::ExpectKernelChecks;

TEST(Irql, EachThreadStartsAtPassiveLevelOnItsOwn) {
    const Irql previous = raiseIrql(Irql::Dispatch);
    EXPECT_EQ(previous, Irql::Passive);
    Irql seenElsewhere = Irql::Dispatch;
    std::thread([&] { seenElsewhere = currentIrql(); }).join();
    EXPECT_EQ(seenElsewhere, Irql::Passive);
    lowerIrql(previous);
    EXPECT_EQ(currentIrql(), Irql::Passive);
}

TEST(Irql, RaisingToALowerLevelIsCaught) {
    IrqlScope atDispatch(Irql::Dispatch);
    ExpectKernelChecks expect;
    raiseIrql(Irql::Passive);
    EXPECT_EQ(expect.count(), 1u);
    EXPECT_EQ(currentIrql(), Irql::Dispatch);
}

TEST(SpinLock, RaisesToDispatchLevelAndRestoresTheCallersLevel) {
    SpinLock lock;
    const Irql previous = lock.acquire();
    EXPECT_EQ(previous, Irql::Passive);
    EXPECT_EQ(currentIrql(), Irql::Dispatch);
    EXPECT_TRUE(lock.heldByCurrentThread());
    EXPECT_EQ(spinLocksHeld(), 1);
    lock.release(previous);
    EXPECT_EQ(currentIrql(), Irql::Passive);
    EXPECT_EQ(spinLocksHeld(), 0);

    // From a deferred procedure call the level stays where it is.
    IrqlScope atDispatch(Irql::Dispatch);
    lock.acquireAtDispatchLevel();
    lock.releaseFromDispatchLevel();
    EXPECT_EQ(currentIrql(), Irql::Dispatch);
}

TEST(SpinLock, ReentryByItsOwnerIsCaughtNotDeadlocked) {
    SpinLock lock;
    const Irql previous = lock.acquire();
    {
        ExpectKernelChecks expect;
        lock.acquire();
        EXPECT_EQ(expect.count(), 1u);
        EXPECT_NE(expect.messages()[0].find("re-entered"), std::string::npos);
    }
    lock.release(previous);
    EXPECT_FALSE(lock.heldByCurrentThread());
}

TEST(SpinLock, ReleaseByAThreadThatDoesNotHoldItIsCaught) {
    SpinLock lock;
    const Irql previous = lock.acquire();
    ExpectKernelChecks expect;
    std::thread([&] {
        IrqlScope atDispatch(Irql::Dispatch);
        lock.releaseFromDispatchLevel();
    }).join();
    EXPECT_EQ(expect.count(), 1u);
    EXPECT_TRUE(lock.heldByCurrentThread());
    lock.release(previous);
}

TEST(SpinLock, InStackQueuedAcquisitionCarriesTheLevel) {
    SpinLock lock;
    QueuedSpinLockHandle handle;
    handle.acquire(lock);
    EXPECT_EQ(currentIrql(), Irql::Dispatch);
    EXPECT_TRUE(lock.heldByCurrentThread());
    handle.release();
    EXPECT_EQ(currentIrql(), Irql::Passive);
    EXPECT_FALSE(lock.heldByCurrentThread());
}

TEST(SpinLock, ExcludesOtherThreads) {
    SpinLock lock;
    long counter = 0; // guarded by the lock only
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if ((i + t) % 2 == 0) {
                    SpinLockGuard guard(lock);
                    ++counter;
                } else {
                    QueuedSpinLockHandle handle;
                    handle.acquire(lock);
                    ++counter;
                    handle.release();
                }
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(counter, 8000);
}

TEST(WaitAtDispatchLevel, IsCaughtAndOnlyLooks) {
    Event event(EventType::Notification, false);
    Mutex mutex;
    SpinLock lock;
    const Irql previous = lock.acquire();
    {
        ExpectKernelChecks expect;
        EXPECT_EQ(waitForSingleObject(event, Duration(std::chrono::milliseconds(10))),
                  STATUS_TIMEOUT);
        EXPECT_EQ(mutex.acquire(),
                  STATUS_SUCCESS); // infinite: caught, then it only looks (the mutex is free)
        EXPECT_EQ(expect.count(), 2u);
        // A zero time-out never waits and is allowed here.
        EXPECT_EQ(waitForSingleObject(event, Duration::zero()), STATUS_TIMEOUT);
        EXPECT_EQ(expect.count(), 2u);
    }
    lock.release(previous);
    mutex.release();
}

} // namespace
