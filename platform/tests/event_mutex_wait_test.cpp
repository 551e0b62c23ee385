#include "platform/kernel/clock.h"
#include "platform/kernel/event.h"
#include "platform/kernel/mutex.h"
#include "platform/kernel/timer.h"
#include "platform/testing/kernel_checks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace kernel;
using namespace std::chrono_literals;
using kernel::testing::ExpectKernelChecks;

constexpr Duration none = Duration::zero();

TEST(Event, NotificationStaysSignalledForEveryWaiter) {
    Event event(EventType::Notification, false);
    EXPECT_EQ(waitForSingleObject(event, none), STATUS_TIMEOUT);
    EXPECT_FALSE(event.set());
    EXPECT_TRUE(event.set());
    EXPECT_EQ(waitForSingleObject(event, none), STATUS_SUCCESS);
    EXPECT_EQ(waitForSingleObject(event, none), STATUS_SUCCESS);
    EXPECT_TRUE(event.reset());
    EXPECT_FALSE(event.readState());
}

TEST(Event, SynchronizationReleasesOneWaitAndClearsItself) {
    Event event(EventType::Synchronization, true);
    EXPECT_EQ(waitForSingleObject(event, none), STATUS_SUCCESS);
    EXPECT_FALSE(event.readState());
    EXPECT_EQ(waitForSingleObject(event, none), STATUS_TIMEOUT);
}

TEST(Event, SetWakesWaitersOnOtherThreads) {
    Event event(EventType::Notification, false);
    std::atomic<int> woken{0};
    std::thread a(
        [&] { woken += waitForSingleObject(event, Timeout::infinite()) == STATUS_SUCCESS; });
    std::thread b(
        [&] { woken += waitForSingleObject(event, Timeout::infinite()) == STATUS_SUCCESS; });
    ASSERT_TRUE(awaitBlockedThreads(2));
    event.set();
    a.join();
    b.join();
    EXPECT_EQ(woken.load(), 2);
}

TEST(WaitForAny, ReturnsTheIndexOfTheSignalledObject) {
    Event first(EventType::Notification, false);
    Event second(EventType::Notification, false);
    NTSTATUS result = STATUS_PENDING;
    std::thread waiter([&] { result = waitForAnyObject({&first, &second}, Timeout::infinite()); });
    ASSERT_TRUE(awaitBlockedThreads(1));
    second.set();
    waiter.join();
    EXPECT_EQ(result, STATUS_WAIT_0 + 1);
}

TEST(WaitForAny, SatisfiesOnlyTheFirstSignalledObject) {
    Event first(EventType::Synchronization, true);
    Event second(EventType::Synchronization, true);
    EXPECT_EQ(waitForAnyObject({&first, &second}, none), STATUS_WAIT_0);
    EXPECT_FALSE(first.readState());
    EXPECT_TRUE(second.readState()); // untouched
    EXPECT_EQ(waitForAnyObject({&first, &second}, none), STATUS_WAIT_0 + 1);
    EXPECT_EQ(waitForAnyObject({&first, &second}, none), STATUS_TIMEOUT);
}

TEST(WaitForAny, RefusesAnEmptyOrOversizedSet) {
    ExpectKernelChecks expect;
    EXPECT_EQ(waitForAnyObject(std::span<DispatcherObject* const>(), none),
              STATUS_INVALID_PARAMETER);
    std::vector<DispatcherObject*> many(maximumWaitObjects + 1, nullptr);
    Event event(EventType::Notification, true);
    for (DispatcherObject*& object : many) object = &event;
    EXPECT_EQ(waitForAnyObject(many, none), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(expect.count(), 2u);
}

TEST(TimedWait, EndsWithTimeoutExactlyWhenTheClockPassesIt) {
    ManualClock clock;
    Event never(EventType::Notification, false);
    std::atomic<NTSTATUS> result{STATUS_PENDING};
    std::thread waiter([&] { result = waitForSingleObject(never, Duration(500ms)); });
    ASSERT_TRUE(awaitBlockedThreads(1));

    clock.advance(499ms);
    ASSERT_TRUE(awaitBlockedThreads(1)); // it looked again and went back to waiting
    EXPECT_EQ(result.load(), STATUS_PENDING);

    clock.advance(1ms);
    waiter.join();
    EXPECT_EQ(result.load(), STATUS_TIMEOUT);
}

TEST(TimedWait, ASignalBeforeTheTimeoutWins) {
    ManualClock clock;
    Event event(EventType::Synchronization, false);
    std::atomic<NTSTATUS> result{STATUS_PENDING};
    std::thread waiter([&] { result = waitForSingleObject(event, Duration(100ms)); });
    ASSERT_TRUE(awaitBlockedThreads(1));
    clock.advance(50ms);
    event.set();
    waiter.join();
    EXPECT_EQ(result.load(), STATUS_SUCCESS);
    EXPECT_FALSE(event.readState());
}

TEST(TimedWait, IsDecidedAtItsDeadlineInOrderWithTheCallsOfOneAdvance) {
    ManualClock clock;
    Event event(EventType::Notification, false);
    Timer timer;
    Dpc signal([](Dpc&, void* context, void*, void*) { static_cast<Event*>(context)->set(); },
               &event);
    timer.set(Duration(7ms), Duration::zero(), &signal);
    std::atomic<NTSTATUS> early{STATUS_PENDING};
    std::atomic<NTSTATUS> late{STATUS_PENDING};
    std::thread before([&] { early = waitForSingleObject(event, Duration(5ms)); });
    std::thread after([&] { late = waitForSingleObject(event, Duration(9ms)); });
    ASSERT_TRUE(awaitBlockedThreads(2));

    clock.advance(10ms); // the event is set at 7 ms, between the two deadlines
    before.join();
    after.join();
    EXPECT_EQ(early.load(), STATUS_TIMEOUT);
    EXPECT_EQ(late.load(), STATUS_SUCCESS);
}

TEST(DelayExecution, ReturnsWhenTheClockHasRunOnByTheInterval) {
    ManualClock clock;
    std::atomic<bool> done{false};
    std::thread sleeper([&] {
        delayExecution(Duration(100ms));
        done = true;
    });
    ASSERT_TRUE(awaitBlockedThreads(1));
    clock.advance(99ms);
    ASSERT_TRUE(awaitBlockedThreads(1));
    EXPECT_FALSE(done.load());
    clock.advance(1ms);
    sleeper.join();
    EXPECT_TRUE(done.load());
}

TEST(Mutex, IsRecursiveForItsOwner) {
    Mutex mutex;
    EXPECT_EQ(mutex.acquire(), STATUS_SUCCESS);
    EXPECT_EQ(mutex.acquire(none), STATUS_SUCCESS);
    EXPECT_TRUE(mutex.ownedByCurrentThread());
    mutex.release();
    EXPECT_FALSE(mutex.readState()); // still owned after the inner release
    mutex.release();
    EXPECT_TRUE(mutex.readState());
}

TEST(Mutex, ZeroTimeoutFromAnotherThreadFailsAtOnce) {
    Mutex mutex;
    MutexGuard held(mutex);
    NTSTATUS other = STATUS_PENDING;
    std::thread([&] { other = mutex.acquire(none); }).join();
    EXPECT_EQ(other, STATUS_TIMEOUT);
}

TEST(Mutex, WaiterGetsItWhenTheOwnerReleasesTheLastHold) {
    Mutex mutex;
    mutex.acquire();
    mutex.acquire();
    std::atomic<bool> got{false};
    std::thread waiter([&] {
        MutexGuard guard(mutex);
        got = true;
    });
    ASSERT_TRUE(awaitBlockedThreads(1));
    mutex.release();
    ASSERT_TRUE(awaitBlockedThreads(1)); // one hold left: still waiting
    EXPECT_FALSE(got.load());
    mutex.release();
    waiter.join();
    EXPECT_TRUE(got.load());
}

TEST(Mutex, ReleaseByANonOwnerIsCaught) {
    Mutex mutex;
    MutexGuard held(mutex);
    ExpectKernelChecks expect;
    std::thread([&] { mutex.release(); }).join();
    EXPECT_EQ(expect.count(), 1u);
    EXPECT_TRUE(mutex.ownedByCurrentThread());
}

} // namespace
