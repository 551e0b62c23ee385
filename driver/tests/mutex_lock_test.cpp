#include "driver/common/mutex_lock.h"
#include "platform/kernel/dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(CMutexLock, OperationsGiveTheirFixedResults) {
    CMutexLock lock;
    EXPECT_TRUE(lock.Lock());
    EXPECT_FALSE(lock.LockShared());
    EXPECT_FALSE(lock.UnlockShared());
    EXPECT_TRUE(lock.Unlock());
    EXPECT_TRUE(lock.TryLock());
    EXPECT_TRUE(lock.TryUnlock());
}

TEST(CMutexLock, TryLockFailsAtOnceWhileAnotherThreadHoldsIt) {
    CMutexLock lock;
    CMutexLockScope held(lock);
    bool acquiredElsewhere = true;
    std::thread([&] { acquiredElsewhere = lock.TryLock(); }).join();
    EXPECT_FALSE(acquiredElsewhere);
}

TEST(CMutexLock, OwnerReentersIt) {
    // The power path holds the lock and calls code that takes it again.
    CMutexLock lock;
    CMutexLockScope outer(lock);
    EXPECT_TRUE(lock.TryLock());
    { CMutexLockScope inner(lock); }
    EXPECT_TRUE(lock.TryUnlock());
}

TEST(CMutexLock, LockWaitsUntilTheOwnerUnlocks) {
    CMutexLock lock;
    lock.Lock();
    std::atomic<bool> entered{false};
    std::thread waiter([&] {
        CMutexLockScope scope(lock);
        entered = true;
    });
    ASSERT_TRUE(kernel::awaitBlockedThreads(1));
    EXPECT_FALSE(entered.load());
    lock.Unlock();
    waiter.join();
    EXPECT_TRUE(entered.load());
    EXPECT_TRUE(lock.TryLock()); // given back by the waiter's scope
    lock.Unlock();
}

} // namespace
