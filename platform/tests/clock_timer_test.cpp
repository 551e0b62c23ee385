#include "platform/kernel/clock.h"
#include "platform/kernel/event.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/timer.h"
#include "platform/testing/kernel_checks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using namespace kernel;
using namespace std::chrono_literals;
using kernel::testing::ExpectKernelChecks;

struct FiringLog {
    std::vector<std::int64_t> times; // clock time of each call, in ms
    std::vector<Irql> levels;
    static void record(Dpc&, void* context, void*, void*) {
        auto* log = static_cast<FiringLog*>(context);
        log->times.push_back(
            std::chrono::duration_cast<std::chrono::milliseconds>(currentClock().now()).count());
        log->levels.push_back(currentIrql());
    }
};

TEST(ManualClock, DrivesSystemTimeAndThePerformanceCounter) {
    ManualClock clock(1000);
    EXPECT_EQ(querySystemTime(), 1000);
    std::int64_t frequency = 0;
    const std::int64_t start = queryPerformanceCounter(&frequency);
    EXPECT_EQ(frequency, 10'000'000);

    clock.advance(1500ms);
    EXPECT_EQ(querySystemTime(), 1000 + 15'000'000);
    EXPECT_EQ(queryPerformanceCounter() - start, 15'000'000);
}

TEST(ManualClock, StandsStillUntilAdvanced) {
    ManualClock clock;
    const std::int64_t counter = queryPerformanceCounter();
    const std::int64_t systemTime = querySystemTime();
    // Real time runs on meanwhile (spun through, not slept), so a clock that
    // followed it would have moved by thousands of counts.
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < 2ms) std::this_thread::yield();
    EXPECT_EQ(queryPerformanceCounter(), counter);
    EXPECT_EQ(querySystemTime(), systemTime);
}

TEST(RealClock, RunsOnItsOwn) {
    const std::int64_t first = querySystemTime();
    const std::int64_t counter = queryPerformanceCounter();
    Event tick(EventType::Notification, false);
    Timer timer;
    Dpc dpc([](Dpc&, void* event, void*, void*) { static_cast<Event*>(event)->set(); }, &tick);
    timer.set(Duration(1ms), Duration::zero(), &dpc);
    EXPECT_EQ(waitForSingleObject(tick, Timeout::infinite()), STATUS_SUCCESS);
    EXPECT_GT(queryPerformanceCounter(), counter);
    EXPECT_GE(querySystemTime(), first);
    // A system time after 2020 in 100 ns units since 1601.
    EXPECT_GT(first, ManualClock::defaultSystemTimeAtStart);
    flushQueuedDpcs();
}

TEST(Timer, PeriodicTimerFiresOncePerPeriodAsTheClockAdvances) {
    ManualClock clock;
    FiringLog log;
    Timer timer;
    Dpc dpc(FiringLog::record, &log);
    timer.set(Duration(5s), Duration(5000ms), &dpc); // first after 5 s, then every 5000 ms

    clock.advance(4999ms);
    EXPECT_TRUE(log.times.empty());
    EXPECT_FALSE(timer.readState());
    clock.advance(1ms);
    EXPECT_EQ(log.times, (std::vector<std::int64_t>{5000}));
    clock.advance(20s);
    EXPECT_EQ(log.times, (std::vector<std::int64_t>{5000, 10000, 15000, 20000, 25000}));
    for (Irql level : log.levels) EXPECT_EQ(level, Irql::Dispatch);
    EXPECT_EQ(currentIrql(), Irql::Passive);

    EXPECT_TRUE(timer.cancel());
    clock.advance(60s);
    EXPECT_EQ(log.times.size(), 5u);
    EXPECT_FALSE(timer.cancel());
}

TEST(Timer, ExpiriesOfSeveralTimersComeInTimeOrder) {
    ManualClock clock;
    std::vector<int> order;
    struct Tagged {
        std::vector<int>* order;
        int id;
    } a{&order, 1}, b{&order, 2}, c{&order, 3};
    const auto note = [](Dpc&, void* context, void*, void*) {
        auto* tagged = static_cast<Tagged*>(context);
        tagged->order->push_back(tagged->id);
    };
    Dpc dpcA(note, &a), dpcB(note, &b), dpcC(note, &c);
    Timer ta, tb, tc;
    ta.set(Duration(30ms), Duration::zero(), &dpcA);
    tb.set(Duration(10ms), Duration(15ms), &dpcB);
    tc.set(Duration(10ms), Duration::zero(), &dpcC); // same time as b, set later
    clock.advance(40ms);
    EXPECT_EQ(order, (std::vector<int>{2, 3, 2, 1, 2})); // b at 10, 25 and 40 ms
    tb.cancel();
}

// A one-shot timer falls due at 20 ms, when a periodic timer of 10 ms
// expires for the second time: the periodic timer counts as set again at its
// first expiry, so the one set before that goes first and one set after it last.
struct SameInstant {
    int oneShotSetAtMs;
    std::vector<int> orderAt20Ms; // 1: periodic, 2: one-shot
};

class TimersDueAtTheSameInstant : public ::testing::TestWithParam<SameInstant> {};

TEST_P(TimersDueAtTheSameInstant, ComeInTheOrderTheyWereLastSet) {
    ManualClock clock;
    using Calls = std::vector<std::pair<int, std::int64_t>>; // id, clock time in ms
    Calls calls;
    struct Tagged {
        Calls* calls;
        int id;
    } periodicTag{&calls, 1}, oneShotTag{&calls, 2};
    const auto note = [](Dpc&, void* context, void*, void*) {
        auto* tagged = static_cast<Tagged*>(context);
        tagged->calls->emplace_back(
            tagged->id,
            std::chrono::duration_cast<std::chrono::milliseconds>(currentClock().now()).count());
    };
    Dpc periodicCall(note, &periodicTag), oneShotCall(note, &oneShotTag);
    Timer periodic, oneShot;
    periodic.set(Duration(10ms), Duration(10ms), &periodicCall);
    const int setAt = GetParam().oneShotSetAtMs;
    clock.advance(std::chrono::milliseconds(setAt));
    oneShot.set(std::chrono::milliseconds(20 - setAt), Duration::zero(), &oneShotCall);
    clock.advance(std::chrono::milliseconds(20 - setAt));

    std::vector<int> at20;
    for (const auto& [id, atMs] : calls)
        if (atMs == 20) at20.push_back(id);
    EXPECT_EQ(at20, GetParam().orderAt20Ms);
    periodic.cancel();
}

INSTANTIATE_TEST_SUITE_P(Timer, TimersDueAtTheSameInstant,
                         ::testing::Values(SameInstant{0, {2, 1}}, SameInstant{5, {2, 1}},
                                           SameInstant{10, {1, 2}}, SameInstant{15, {1, 2}}));

TEST(Timer, CoalescableTimerKeepsItsDueTimesOnAManualClock) {
    ManualClock clock;
    FiringLog log;
    Timer timer;
    Dpc dpc(FiringLog::record, &log);
    timer.setCoalescable(Duration(10ms), Duration(10ms), Duration(5ms), &dpc);
    clock.advance(35ms);
    EXPECT_EQ(log.times, (std::vector<std::int64_t>{10, 20, 30}));
    EXPECT_TRUE(timer.cancel());
}

// On the real clock a timer that tolerates delay expires with the wake of a
// later timer within its tolerance rather than waking the clock on its own:
// it runs first (it was due first), and not before the later one was due.
TEST(RealClock, CoalescableTimerSharesTheWakeOfALaterTimer) {
    FiringLog log;
    Event done(EventType::Notification, false);
    struct Later {
        FiringLog* log;
        Event* done;
    } later{&log, &done};
    Dpc coalescable(FiringLog::record, &log);
    Dpc plain(
        [](Dpc& self, void* context, void* a, void* b) {
            auto* l = static_cast<Later*>(context);
            FiringLog::record(self, l->log, a, b);
            l->done->set();
        },
        &later);
    Timer late, due;
    const std::int64_t start =
        std::chrono::duration_cast<std::chrono::milliseconds>(currentClock().now()).count();
    // Each set wakes the service to plan again; the margins leave it 100 ms
    // to do so before the first timer is due.
    late.setCoalescable(Duration(100ms), Duration::zero(), Duration(10s), &coalescable);
    due.set(Duration(300ms), Duration::zero(), &plain);
    EXPECT_EQ(waitForSingleObject(done, Timeout::infinite()), STATUS_SUCCESS);
    flushQueuedDpcs();
    ASSERT_EQ(log.times.size(), 2u);
    EXPECT_GE(log.times[0], start + 300);
    EXPECT_LE(log.times[0], log.times[1]);
    EXPECT_FALSE(late.isSet());
}

TEST(Timer, SettingAgainCancelsTheEarlierExpiry) {
    ManualClock clock;
    Timer timer;
    EXPECT_FALSE(timer.set(Duration(10ms)));
    EXPECT_TRUE(timer.set(Duration(30ms)));
    clock.advance(20ms);
    EXPECT_FALSE(timer.readState());
    clock.advance(10ms);
    EXPECT_TRUE(timer.readState());
    EXPECT_FALSE(timer.isSet());
}

TEST(Timer, AbsoluteDueTimeIsASystemTime) {
    ManualClock clock;
    Timer timer;
    timer.setAbsolute(querySystemTime() + Duration(50ms).count());
    clock.advance(49ms);
    EXPECT_FALSE(timer.readState());
    clock.advance(1ms);
    EXPECT_TRUE(timer.readState());
}

TEST(Timer, WaitersSeeItsExpiry) {
    ManualClock clock;
    Timer notification;
    Timer synchronization(TimerType::Synchronization);
    notification.set(Duration(10ms));
    synchronization.set(Duration(10ms));
    std::atomic<NTSTATUS> result{STATUS_PENDING};
    std::thread waiter([&] { result = waitForSingleObject(notification, Timeout::infinite()); });
    ASSERT_TRUE(awaitBlockedThreads(1));
    clock.advance(10ms);
    waiter.join();
    EXPECT_EQ(result.load(), STATUS_SUCCESS);
    EXPECT_TRUE(notification.readState());
    EXPECT_EQ(waitForSingleObject(synchronization, Duration::zero()), STATUS_SUCCESS);
    EXPECT_FALSE(synchronization.readState()); // taken by the wait
}

TEST(Timer, CallThatRearmsItsTimerRunsAgainInTheSameAdvance) {
    ManualClock clock;
    struct Rearming {
        Timer timer;
        int calls = 0;
    } state;
    Dpc dpc(
        [](Dpc& self, void* context, void*, void*) {
            auto* s = static_cast<Rearming*>(context);
            if (++s->calls < 3) s->timer.set(Duration(50ms), Duration::zero(), &self);
        },
        &state);
    state.timer.set(Duration(50ms), Duration::zero(), &dpc);
    clock.advance(1s);
    EXPECT_EQ(state.calls, 3);
}

TEST(ManualClock, AdvancesFromTwoThreadsTakeTurns) {
    ManualClock clock;
    struct Held {
        FiringLog log;
        Event entered{EventType::Notification, false};
        std::atomic<bool> release{false};
    } held;
    Timer timer;
    Dpc dpc(
        [](Dpc& self, void* context, void*, void*) {
            auto* h = static_cast<Held*>(context);
            FiringLog::record(self, &h->log, nullptr, nullptr);
            h->entered.set();
            while (!h->release.load())
                std::this_thread::yield(); // the first call holds its advance up
        },
        &held);
    timer.set(Duration(5ms), Duration(5ms), &dpc);

    std::thread first([&] { clock.advance(10ms); });
    EXPECT_EQ(waitForSingleObject(held.entered, Timeout::infinite()), STATUS_SUCCESS);
    std::thread second([&] { clock.advance(20ms); });
    EXPECT_TRUE(awaitBlockedThreads(1)); // the second advance waits for the first
    held.release = true;
    first.join();
    second.join();

    EXPECT_EQ(held.log.times, (std::vector<std::int64_t>{5, 10, 15, 20, 25, 30}));
    EXPECT_EQ(clock.now(), Duration(30ms));
    timer.cancel();
}

TEST(Timer, DestroyedWhileSetIsCaught) {
    ManualClock clock;
    ExpectKernelChecks expect;
    {
        Timer timer;
        timer.set(Duration(1s));
    }
    EXPECT_EQ(expect.count(), 1u);
    EXPECT_EQ(timersSet(), 0u);
}

TEST(TimerResolution, RequestsAreCountedAndGivenBack) {
    EXPECT_EQ(timerResolutionRequests(), 0);
    EXPECT_EQ(setTimerResolution(10000, true), finestTimerResolution);
    EXPECT_EQ(setTimerResolution(10000, true), finestTimerResolution);
    EXPECT_EQ(timerResolutionRequests(), 2);
    EXPECT_EQ(setTimerResolution(0, false), finestTimerResolution);
    EXPECT_EQ(setTimerResolution(0, false), defaultTimerResolution);
    // A give-back without a request outstanding changes nothing.
    EXPECT_EQ(setTimerResolution(0, false), defaultTimerResolution);
    EXPECT_EQ(timerResolutionRequests(), 0);
}

} // namespace
