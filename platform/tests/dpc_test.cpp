#include "platform/kernel/clock.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/timer.h"
#include "platform/testing/kernel_checks.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace kernel;
using namespace std::chrono_literals;
using kernel::testing::ExpectKernelChecks;

// What each call saw; one log may serve several Dpcs.
struct CallLog {
    struct Call {
        int id;
        void* argument1;
        void* argument2;
        Irql level;
        std::int64_t atMs;
        std::thread::id thread;
        bool operator==(const Call&) const = default;
    };
    std::mutex lock;
    std::vector<Call> calls;

    std::vector<int> ids() {
        std::lock_guard guard(lock);
        std::vector<int> result;
        for (const Call& call : calls) result.push_back(call.id);
        return result;
    }
};

struct LoggedDpc {
    CallLog* log;
    int id;
    Dpc dpc{record, this};

    static void record(Dpc&, void* context, void* argument1, void* argument2) {
        auto* self = static_cast<LoggedDpc*>(context);
        std::lock_guard guard(self->log->lock);
        self->log->calls.push_back(
            {self->id, argument1, argument2, currentIrql(),
             std::chrono::duration_cast<std::chrono::milliseconds>(currentClock().now()).count(),
             std::this_thread::get_id()});
    }
};

void* argument(std::uintptr_t value) { return reinterpret_cast<void*>(value); }

class DpcUnderManualClock : public ::testing::Test {
protected:
    ManualClock clock;
    CallLog log;
    const std::thread::id here = std::this_thread::get_id();
};

TEST_F(DpcUnderManualClock, QueuedCallsRunInQueueOrderAtDispatchLevelWithTheirArguments) {
    LoggedDpc first{&log, 1}, second{&log, 2}, third{&log, 3};
    EXPECT_TRUE(queueDpc(second.dpc, argument(20), argument(21)));
    {
        IrqlScope atDispatch(Irql::Dispatch); // queued from dispatch level, as a call does
        EXPECT_TRUE(queueDpc(first.dpc, argument(10), nullptr));
    }
    EXPECT_TRUE(queueDpc(third.dpc, nullptr, argument(31)));
    EXPECT_EQ(queuedDpcs(), 3u);
    EXPECT_TRUE(log.ids().empty()); // a manual clock runs nothing by itself

    clock.settle();
    EXPECT_EQ(log.calls, (std::vector<CallLog::Call>{
                             {2, argument(20), argument(21), Irql::Dispatch, 0, here},
                             {1, argument(10), nullptr, Irql::Dispatch, 0, here},
                             {3, nullptr, argument(31), Irql::Dispatch, 0, here},
                         }));
    EXPECT_EQ(queuedDpcs(), 0u);
    EXPECT_EQ(currentIrql(), Irql::Passive);
}

TEST_F(DpcUnderManualClock, ACallIsQueuedOnceUntilItStarts) {
    LoggedDpc call{&log, 1};
    EXPECT_TRUE(queueDpc(call.dpc, argument(1), nullptr));
    EXPECT_FALSE(queueDpc(call.dpc, argument(2), nullptr)); // the first arguments stay
    clock.settle();
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0].argument1, argument(1));
    EXPECT_TRUE(queueDpc(call.dpc, argument(3), nullptr)); // started: may be queued again
    clock.settle();
    EXPECT_EQ(log.calls.size(), 2u);
}

TEST_F(DpcUnderManualClock, ARemovedCallNeverRuns) {
    LoggedDpc removed{&log, 1}, kept{&log, 2};
    queueDpc(removed.dpc, nullptr, nullptr);
    queueDpc(kept.dpc, nullptr, nullptr);
    EXPECT_TRUE(removeQueuedDpc(removed.dpc));
    EXPECT_FALSE(removeQueuedDpc(removed.dpc));
    clock.settle();
    EXPECT_EQ(log.ids(), (std::vector<int>{2}));
    EXPECT_FALSE(removeQueuedDpc(kept.dpc)); // it has run
}

TEST_F(DpcUnderManualClock, TimerCallsGetNoArgumentsAndWhatTheyQueueRunAtTheSameInstant) {
    LoggedDpc followUp{&log, 2};
    struct Chained {
        LoggedDpc own;
        LoggedDpc* next;
    } chained{{&log, 1}, &followUp};
    Dpc timerCall(
        [](Dpc& dpc, void* context, void* argument1, void* argument2) {
            auto* c = static_cast<Chained*>(context);
            LoggedDpc::record(dpc, &c->own, argument1, argument2);
            queueDpc(c->next->dpc, argument(7), argument(8));
        },
        &chained);
    Timer timer;
    timer.set(Duration(5ms), Duration::zero(), &timerCall);
    clock.advance(10ms);
    EXPECT_EQ(log.calls, (std::vector<CallLog::Call>{
                             {1, nullptr, nullptr, Irql::Dispatch, 5, here},
                             {2, argument(7), argument(8), Irql::Dispatch, 5, here},
                         }));
}

TEST_F(DpcUnderManualClock, AnAdvanceRunsCallsQueuedBeforeItBeforeTimeMoves) {
    LoggedDpc queued{&log, 1}, timed{&log, 2};
    Timer timer;
    timer.set(Duration(3ms), Duration::zero(), &timed.dpc);
    queueDpc(queued.dpc, nullptr, nullptr);
    clock.advance(5ms);
    EXPECT_EQ(log.calls, (std::vector<CallLog::Call>{
                             {1, nullptr, nullptr, Irql::Dispatch, 0, here},
                             {2, nullptr, nullptr, Irql::Dispatch, 3, here},
                         }));
}

TEST_F(DpcUnderManualClock, AFlushRunsTheCallsOnTheFlushingThread) {
    LoggedDpc call{&log, 1};
    queueDpc(call.dpc, nullptr, nullptr);
    flushQueuedDpcs();
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0].thread, here);
}

TEST(Dpc, UnderTheRealClockTheServiceThreadRunsThem) {
    CallLog log;
    LoggedDpc first{&log, 1}, second{&log, 2};
    queueDpc(first.dpc, argument(1), nullptr);
    queueDpc(second.dpc, argument(2), nullptr);
    flushQueuedDpcs();
    ASSERT_EQ(log.ids(), (std::vector<int>{1, 2}));
    EXPECT_NE(log.calls[0].thread, std::this_thread::get_id());
    EXPECT_EQ(log.calls[1].level, Irql::Dispatch);
}

TEST_F(DpcUnderManualClock, DestroyingAQueuedCallIsCaughtAndTakesItOutOfTheQueue) {
    ExpectKernelChecks expect;
    {
        LoggedDpc call{&log, 1};
        queueDpc(call.dpc, nullptr, nullptr);
    }
    EXPECT_EQ(expect.count(), 1u);
    EXPECT_EQ(queuedDpcs(), 0u);
    clock.settle();
    EXPECT_TRUE(log.ids().empty());
}

} // namespace
