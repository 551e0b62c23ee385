// The end-of-test checks the kernel registers: each reports what a test left
// behind of its kind, and nothing once it is gone; and the guard runs every
// registered check around each test, a layer's own among them.
#include "platform/kernel/clock.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/event.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/spin_lock.h"
#include "platform/kernel/test_checks.h"
#include "platform/kernel/timer.h"
#include "platform/kernel/work_item.h"
#include "platform/tests/find_test_check.h"
#include "platform/tests/test_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace {

using namespace kernel;
using namespace std::chrono_literals;

// Something a test leaves behind while it lives; gone with it.
struct Leftover {
    virtual ~Leftover() = default;
};

struct SetTimer : Leftover {
    Timer timer;
    SetTimer() { timer.set(Duration(1h)); }
    ~SetTimer() override { timer.cancel(); }
};

struct QueuedCall : Leftover {
    ManualClock clock; // nothing runs it meanwhile
    Dpc dpc{[](Dpc&, void*, void*, void*) {}, nullptr};
    QueuedCall() { queueDpc(dpc, nullptr, nullptr); }
    ~QueuedCall() override { removeQueuedDpc(dpc); }
};

struct PendingWorkItem : Leftover {
    Event release{EventType::Notification, false};
    WorkItem* item = allocateWorkItem();
    PendingWorkItem() {
        queueWorkItem(
            *item,
            [](void* e) { waitForSingleObject(*static_cast<Event*>(e), Timeout::infinite()); },
            &release);
    }
    ~PendingWorkItem() override {
        release.set();
        drainWorkItems();
        freeWorkItem(item);
    }
};

struct RunningThread : Leftover {
    kernel::testing::TestThread thread{
        [](Event& stop) { waitForSingleObject(stop, Timeout::infinite()); }};
};

struct InstalledClock : Leftover {
    std::unique_ptr<ManualClock> clock = std::make_unique<ManualClock>();
};

struct LiveBlock : Leftover {
    void* block = allocatePool(PoolType::NonPagedNx, 24, poolTag("Left"));
    ~LiveBlock() override { freePool(block); }
};

struct RaisedLevel : Leftover {
    Irql previous = raiseIrql(Irql::Dispatch);
    ~RaisedLevel() override { lowerIrql(previous); }
};

struct HeldSpinLock : Leftover {
    SpinLock lock;
    Irql previous = lock.acquire();
    ~HeldSpinLock() override { lock.release(previous); }
};

struct LeftBehind {
    const char* check;
    const char* reported; // part of what the check says
    std::unique_ptr<Leftover> (*leave)();
};

void PrintTo(const LeftBehind& c, std::ostream* out) { *out << c.check << ": " << c.reported; }

template <class T> std::unique_ptr<Leftover> leave() { return std::make_unique<T>(); }

const LeftBehind cases[] = {
    {"timers", "1 timer(s) still set", leave<SetTimer>},
    {"deferred procedure calls", "1 deferred procedure call(s) queued", leave<QueuedCall>},
    {"work items", "1 work item(s) pending", leave<PendingWorkItem>},
    {"system threads", "1 system thread(s) still running", leave<RunningThread>},
    {"manual clock", "a manual clock is still installed", leave<InstalledClock>},
    {"pool blocks", "tag \"Left\", 24 bytes", leave<LiveBlock>},
    {"test thread level", "above passive level", leave<RaisedLevel>},
    {"test thread level", "1 spin lock(s) held", leave<HeldSpinLock>},
};

class KernelTestCheck : public ::testing::TestWithParam<LeftBehind> {};

TEST_P(KernelTestCheck, ReportsWhatIsLeftAndNothingOnceItIsGone) {
    const std::optional<TestCheck> check = kernel::testing::findTestCheck(GetParam().check);
    ASSERT_TRUE(check.has_value());
    ASSERT_NE(check->afterTest, nullptr);
    std::unique_ptr<Leftover> left = GetParam().leave();
    const std::string report = check->afterTest();
    EXPECT_NE(report.find(GetParam().reported), std::string::npos) << report;
    left.reset();
    EXPECT_EQ(check->afterTest(), "");
}

INSTANTIATE_TEST_SUITE_P(LeftBehind, KernelTestCheck, ::testing::ValuesIn(cases));

// A check of this program's own, registered the way a layer does.
struct Visits {
    int before = 0;
    int after = 0;
} visits;

const TestCheckRegistrar ownCheck({"visits", [] { ++visits.before; },
                                   [] {
                                       ++visits.after;
                                       return std::string();
                                   }});

TEST(TestChecks, TheGuardRunsEveryRegisteredCheckAroundEachTest) {
    // This test has begun and not ended; every test before it has done both.
    EXPECT_GE(visits.before, 1);
    EXPECT_EQ(visits.after, visits.before - 1);
}

} // namespace
