// A manual clock's settle: everything one step set going has run, and every
// thread of the layer waits again, before the test looks.
#include "platform/kernel/clock.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/event.h"
#include "platform/kernel/thread.h"
#include "platform/kernel/thread_wakeups.h"
#include "platform/kernel/timer.h"
#include "platform/kernel/work_item.h"
#include "platform/tests/test_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace kernel;
using namespace std::chrono_literals;
using kernel::testing::TestThread;

std::int64_t clockMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(currentClock().now()).count();
}

TEST(Settle, EveryStepWakesTheThreadOnceAndItWaitsAgainBeforeTheTestLooks) {
    ManualClock clock;
    Timer tick(TimerType::Synchronization);
    std::vector<std::int64_t> seenAt; // the thread writes only between two settles
    tick.set(Duration(1ms), Duration(1ms));
    {
        TestThread thread([&](Event& stop) {
            while (waitForAnyObject({&tick, &stop}, Timeout::infinite()) == STATUS_WAIT_0)
                seenAt.push_back(clockMilliseconds());
        });
        clock.settle();
        EXPECT_TRUE(seenAt.empty());
        for (std::int64_t step = 1; step <= 20; ++step) {
            clock.advance(1ms);
            clock.settle();
            ASSERT_EQ(seenAt.size(), static_cast<std::size_t>(step));
            EXPECT_EQ(seenAt.back(), step);
        }
    }
    tick.cancel();
}

struct Chain {
    std::mutex lock;
    std::vector<std::string> log;
    WorkItem* item = allocateWorkItem();
    Event wake{EventType::Notification, false};
    Dpc timerCall{[](Dpc&, void* self, void*, void*) {
                      auto* chain = static_cast<Chain*>(self);
                      chain->note("timer call");
                      queueWorkItem(
                          *chain->item,
                          [](void* c) {
                              static_cast<Chain*>(c)->note("work item");
                              static_cast<Chain*>(c)->wake.set();
                          },
                          chain);
                  },
                  this};
    Dpc queuedCall{
        [](Dpc&, void* self, void*, void*) { static_cast<Chain*>(self)->note("queued call"); },
        this};

    void note(const char* what) {
        std::lock_guard guard(lock);
        log.emplace_back(what);
    }
    ~Chain() { freeWorkItem(item); }
};

TEST(Settle, RunsWhatTheStepSetGoingAndWhatThatInTurnQueuedOrSignalled) {
    ManualClock clock;
    Chain chain;
    ASSERT_NE(chain.item, nullptr);
    Timer timer;
    {
        TestThread thread([&](Event& stop) {
            if (waitForAnyObject({&chain.wake, &stop}, Timeout::infinite()) != STATUS_WAIT_0)
                return;
            chain.note("thread");
            queueDpc(chain.queuedCall, nullptr, nullptr);
            waitForSingleObject(stop, Timeout::infinite());
        });
        timer.set(Duration(1ms), Duration::zero(), &chain.timerCall);
        clock.advance(1ms);
        clock.settle();
        EXPECT_EQ(chain.log,
                  (std::vector<std::string>{"timer call", "work item", "thread", "queued call"}));
    }
}

// A blocked thread wakes only for a change that can end its wait, so a
// lockstep frame that concerns no thread costs no hand-over: two threads wait
// each on an event of its own, a third with a time-out 5 ms ahead, and each
// change below is followed by a settle.
TEST(Settle, AChangeWakesOnlyTheThreadsWhoseWaitItCanEnd) {
    ManualClock clock;
    Event first(EventType::Synchronization, false);
    Event second(EventType::Synchronization, false);
    Event unwatched(EventType::Notification, false);
    Dpc call([](Dpc&, void*, void*, void*) {}, nullptr);
    Timer timer;
    std::atomic<int> firstWakes{0}, secondWakes{0}, timeOuts{0};
    const auto waitOn = [](Event& event, std::atomic<int>& wakes) {
        return [&event, &wakes](Event& stop) {
            while (waitForAnyObject({&event, &stop}, Timeout::infinite()) == STATUS_WAIT_0) ++wakes;
        };
    };
    TestThread a(waitOn(first, firstWakes));
    TestThread b(waitOn(second, secondWakes));
    TestThread c([&](Event& stop) {
        if (waitForSingleObject(stop, Duration(5ms)) == STATUS_TIMEOUT) ++timeOuts;
        waitForSingleObject(stop, Timeout::infinite());
    });
    clock.settle();

    struct Change {
        const char* what;
        std::function<void()> make;
        std::uint64_t wakes;
    };
    const Change changes[] = {
        {"an event nobody waits for", [&] { unwatched.set(); }, 0},
        {"a call queued and run", [&] { queueDpc(call, nullptr, nullptr); }, 0},
        {"a timer nobody waits for fires its call",
         [&] {
             timer.set(Duration(1ms), Duration::zero(), &call);
             clock.advance(1ms);
         },
         0},
        {"time passes short of the time-out", [&] { clock.advance(3ms); }, 0},
        {"the first thread's event", [&] { first.set(); }, 1},
        {"the second thread's event", [&] { second.set(); }, 1},
        {"the time-out reached", [&] { clock.advance(1ms); }, 1},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        const std::uint64_t before = threadWakeups();
        change.make();
        clock.settle();
        EXPECT_EQ(threadWakeups() - before, change.wakes);
    }
    EXPECT_EQ(firstWakes.load(), 1);
    EXPECT_EQ(secondWakes.load(), 1);
    EXPECT_EQ(timeOuts.load(), 1);
}

TEST(Settle, ANewThreadHasRunToItsFirstWait) {
    ManualClock clock;
    std::atomic<bool> started{false};
    TestThread thread([&](Event& stop) {
        started = true;
        waitForSingleObject(stop, Timeout::infinite());
    });
    clock.settle();
    EXPECT_TRUE(started.load());
}

TEST(Settle, ThreadsThatEndedAreNoLongerWaitedFor) {
    ManualClock clock;
    const std::size_t before = runningSystemThreads();
    ThreadObject* thread = nullptr;
    ASSERT_EQ(createSystemThread(
                  &thread, [](void*) {}, nullptr),
              STATUS_SUCCESS);
    clock.settle();
    EXPECT_EQ(runningSystemThreads(), before);
    EXPECT_EQ(waitForSingleObject(*thread, Duration::zero()), STATUS_SUCCESS);
    dereferenceObject(*thread);
    clock.settle(); // nothing left to wait for
}

TEST(Settle, AWorkItemWaitingInsideItsRoutineCountsAsSettled) {
    ManualClock clock;
    struct Held {
        Event release{EventType::Notification, false};
        std::atomic<int> stage{0};
    } held;
    WorkItem* item = allocateWorkItem();
    ASSERT_NE(item, nullptr);
    queueWorkItem(
        *item,
        [](void* context) {
            auto* h = static_cast<Held*>(context);
            h->stage = 1;
            waitForSingleObject(h->release, Timeout::infinite());
            h->stage = 2;
        },
        &held);
    clock.settle();
    EXPECT_EQ(held.stage.load(), 1);
    EXPECT_EQ(pendingWorkItems(), 1u);

    held.release.set();
    clock.settle();
    EXPECT_EQ(held.stage.load(), 2);
    EXPECT_EQ(pendingWorkItems(), 0u);
    drainWorkItems(); // nothing left to wait for when settle did its work
    freeWorkItem(item);
}

} // namespace
