// Requests on their way down a device stack and back: which location each
// device gets, the order and the moment completion routines run, what keeps
// a request with its sender, pending and cancel, and the faults a driver can
// make with a request.
#include "platform/io/irp.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/event.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/testing/kernel_checks.h"
#include "platform/tests/io_test_devices.h"
#include "platform/tests/test_thread.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace kernel;
using namespace io;
using io::testing::completeWith;
using io::testing::TestDevice;
using kernel::testing::ExpectKernelChecks;

// What the completion routines saw, in the order they ran.
struct RoutineLog {
    struct Entry {
        std::string who;
        NTSTATUS status;
        DeviceObject* device;
        Irql level;
        bool pendingReturned;
    };
    std::mutex lock;
    std::vector<Entry> entries;

    std::vector<std::string> order() {
        std::lock_guard guard(lock);
        std::vector<std::string> names;
        for (const Entry& entry : entries) names.push_back(entry.who);
        return names;
    }
};

struct LoggingRoutine {
    RoutineLog& log;
    std::string who;
    NTSTATUS result = STATUS_MORE_PROCESSING_REQUIRED;

    static NTSTATUS run(DeviceObject* device, Irp* irp, void* context) {
        auto* self = static_cast<LoggingRoutine*>(context);
        std::lock_guard guard(self->log.lock);
        self->log.entries.push_back(
            {self->who, irp->ioStatus.status, device, currentIrql(), irp->pendingReturned()});
        return self->result;
    }
    void setOn(Irp* irp, bool onSuccess = true, bool onError = true, bool onCancel = true) {
        setCompletionRoutine(irp, run, this, onSuccess, onError, onCancel);
    }
};

class RequestTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (irp != nullptr) freeIrp(irp);
    }

    // A request for the device, its next location set for a read.
    Irp* requestFor(TestDevice& target) {
        irp = allocateIrp(target.device->stackSize());
        if (irp != nullptr) nextStackLocation(irp)->majorFunction = major::Read;
        return irp;
    }

    ManualClock clock;
    TestDevice bottom;
    TestDevice middle{&bottom};
    RoutineLog log;
    LoggingRoutine sender{log, "sender"};
    Irp* irp = nullptr;
};

TEST_F(RequestTest, ARequestHasOneLocationPerDeviceAndNoneIsCurrentBeforeItIsSent) {
    ASSERT_NE(requestFor(middle), nullptr);
    EXPECT_EQ(irp->stackCount(), 2);
    EXPECT_EQ(currentStackLocation(irp), nullptr);
    EXPECT_EQ(allocateIrp(0), nullptr);
    EXPECT_EQ(allocateIrp(-1), nullptr);
    failPoolRequest(1);
    EXPECT_EQ(allocateIrp(1), nullptr);
}

TEST_F(RequestTest, EachDeviceOnTheWayDownGetsTheNextLocationAsItsCurrentOne) {
    ASSERT_NE(requestFor(middle), nullptr);
    IoStackLocation* first = nextStackLocation(irp);
    first->parameters.deviceIoControl.ioControlCode = 0x1D6000;
    IoStackLocation* second = nullptr;
    middle.on(major::Read) = [&](DeviceObject* device, Irp* r) {
        EXPECT_EQ(currentStackLocation(r), first);
        EXPECT_EQ(first->deviceObject, device);
        copyCurrentStackLocationToNext(r);
        second = nextStackLocation(r);
        return callDriver(bottom.device, r);
    };
    bottom.on(major::Read) = [&](DeviceObject* device, Irp* r) {
        EXPECT_EQ(currentStackLocation(r), second);
        EXPECT_EQ(second->deviceObject, device);
        EXPECT_EQ(second->parameters.deviceIoControl.ioControlCode, 0x1D6000u);
        EXPECT_EQ(nextStackLocation(r), nullptr);
        return completeWith(r, STATUS_SUCCESS);
    };
    sender.setOn(irp);
    callDriver(middle.device, irp);
    clock.settle();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(log.order(), std::vector<std::string>{"sender"});
}

TEST_F(RequestTest, ACompletionDuringTheCallRunsTheSendersRoutineOnlyAfterTheCallReturned) {
    bottom.on(major::Read) = [](DeviceObject*, Irp* r) {
        return completeWith(r, STATUS_SUCCESS, 7);
    };
    ASSERT_NE(requestFor(bottom), nullptr);
    sender.setOn(irp);
    EXPECT_EQ(callDriver(bottom.device, irp), STATUS_PENDING);
    EXPECT_TRUE(log.order().empty());
    EXPECT_EQ(requestsInFlight(), 1u);

    clock.settle();
    ASSERT_EQ(log.entries.size(), 1u);
    const RoutineLog::Entry& ran = log.entries[0];
    EXPECT_EQ(ran.status, STATUS_SUCCESS);
    EXPECT_EQ(ran.device, nullptr); // the sender has no location of its own
    EXPECT_EQ(ran.level, Irql::Dispatch);
    EXPECT_FALSE(ran.pendingReturned);
    EXPECT_EQ(irp->ioStatus.information, 7u);
    EXPECT_EQ(requestsInFlight(), 0u);
}

// The middle device passes the request down with a routine of its own; the
// bottom one, without a handler, completes it with success.
class PassingDownTest : public RequestTest {
protected:
    void SetUp() override {
        middle.on(major::Read) = [this](DeviceObject*, Irp* r) {
            copyCurrentStackLocationToNext(r);
            passer.setOn(r);
            return callDriver(bottom.device, r);
        };
        ASSERT_NE(requestFor(middle), nullptr);
        sender.setOn(irp);
    }

    LoggingRoutine passer{log, "middle", STATUS_SUCCESS};
};

TEST_F(PassingDownTest, RoutinesRunFromTheBottomUpEachWithTheDeviceThatSetIt) {
    EXPECT_EQ(callDriver(middle.device, irp), STATUS_PENDING);
    clock.settle();
    EXPECT_EQ(log.order(), (std::vector<std::string>{"middle", "sender"}));
    EXPECT_EQ(log.entries[0].device, middle.device);
}

TEST_F(PassingDownTest, MoreProcessingRequiredKeepsTheRequestUntilItIsCompletedAgain) {
    passer.result = STATUS_MORE_PROCESSING_REQUIRED;
    callDriver(middle.device, irp);
    clock.settle();
    EXPECT_EQ(log.order(), std::vector<std::string>{"middle"});
    EXPECT_EQ(requestsInFlight(), 0u); // with the middle driver now

    irp->ioStatus.status = STATUS_UNSUCCESSFUL; // the middle driver's own verdict
    completeRequest(irp);
    EXPECT_EQ(log.order(), (std::vector<std::string>{"middle", "sender"}));
    EXPECT_EQ(log.entries[1].status, STATUS_UNSUCCESSFUL);
    EXPECT_EQ(log.entries[1].level, Irql::Passive); // the completer's level
}

TEST_F(RequestTest, SkippingLetsTheDeviceBelowUseTheLocationWithTheSendersRoutine) {
    middle.on(major::Read) = [this](DeviceObject*, Irp* r) {
        skipCurrentStackLocation(r);
        return callDriver(bottom.device, r);
    };
    ASSERT_NE(requestFor(middle), nullptr);
    IoStackLocation* first = nextStackLocation(irp);
    sender.setOn(irp);
    EXPECT_EQ(callDriver(middle.device, irp), STATUS_PENDING);
    EXPECT_EQ(first->deviceObject, bottom.device);
    EXPECT_TRUE(log.order().empty());
    clock.settle();
    EXPECT_EQ(log.order(), std::vector<std::string>{"sender"});
}

struct RoutineFlags {
    const char* name;
    NTSTATUS status;
    bool cancelled;
    bool onSuccess, onError, onCancel;
    bool runs;
};

void PrintTo(const RoutineFlags& c, std::ostream* out) { *out << c.name; }

const RoutineFlags flagCases[] = {
    {"success on success", STATUS_SUCCESS, false, true, false, false, true},
    {"success on error only", STATUS_SUCCESS, false, false, true, true, false},
    {"error on error", STATUS_UNSUCCESSFUL, false, false, true, false, true},
    {"error on success only", STATUS_UNSUCCESSFUL, false, true, false, false, false},
    {"warning counts as error", STATUS_BUFFER_OVERFLOW, false, false, true, false, true},
    {"warning on success only", STATUS_BUFFER_OVERFLOW, false, true, false, false, false},
    {"cancelled on cancel", STATUS_CANCELLED, true, false, false, true, true},
    {"cancelled on success only", STATUS_CANCELLED, true, true, false, false, false},
};

class RoutineFlagTest : public RequestTest, public ::testing::WithParamInterface<RoutineFlags> {};

TEST_P(RoutineFlagTest, TheFlagsAndTheOutcomeDecideWhetherTheRoutineRuns) {
    const RoutineFlags& c = GetParam();
    LoggingRoutine tested{log, "tested", STATUS_SUCCESS};
    middle.on(major::Read) = [&](DeviceObject*, Irp* r) {
        copyCurrentStackLocationToNext(r);
        tested.setOn(r, c.onSuccess, c.onError, c.onCancel);
        return callDriver(bottom.device, r);
    };
    bottom.on(major::Read) = [&](DeviceObject*, Irp* r) { return completeWith(r, c.status); };
    ASSERT_NE(requestFor(middle), nullptr);
    sender.setOn(irp);
    if (c.cancelled) cancelIrp(irp);
    callDriver(middle.device, irp);
    clock.settle();
    const std::vector<std::string> expected =
        c.runs ? std::vector<std::string>{"tested", "sender"} : std::vector<std::string>{"sender"};
    EXPECT_EQ(log.order(), expected);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, RoutineFlagTest, ::testing::ValuesIn(flagCases));

// The bottom device keeps every request it gets, pending.
class HeldRequestTest : public RequestTest {
protected:
    void SetUp() override {
        bottom.on(major::Read) = [this](DeviceObject*, Irp* r) {
            held = r;
            markPending(r);
            if (cancellable) setCancelRoutine(r, cancelRoutine);
            return STATUS_PENDING;
        };
        ASSERT_NE(requestFor(bottom), nullptr);
        sender.setOn(irp);
    }

    static void cancelRoutine(DeviceObject* device, Irp* r) {
        EXPECT_EQ(currentIrql(), Irql::Dispatch);
        cancelledAt = device;
        completeWith(r, STATUS_CANCELLED);
    }

    static inline DeviceObject* cancelledAt = nullptr;
    Irp* held = nullptr;
    bool cancellable = false;
};

TEST_F(HeldRequestTest, APendingRequestCompletedLaterRunsTheRoutineInTheCompletersCall) {
    EXPECT_EQ(callDriver(bottom.device, irp), STATUS_PENDING);
    clock.settle();
    EXPECT_TRUE(log.order().empty());
    EXPECT_EQ(requestsInFlight(), 1u);

    completeWith(held, STATUS_SUCCESS);
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_TRUE(log.entries[0].pendingReturned);
    EXPECT_EQ(log.entries[0].level, Irql::Passive);
    EXPECT_EQ(requestsInFlight(), 0u);
}

TEST_F(HeldRequestTest, CancelHandsTheRequestToTheCancelRoutineOfItsHolderOnce) {
    cancellable = true;
    callDriver(bottom.device, irp);
    EXPECT_FALSE(irp->cancelled());
    EXPECT_TRUE(cancelIrp(irp));
    EXPECT_EQ(cancelledAt, bottom.device);
    EXPECT_TRUE(irp->cancelled());
    ASSERT_EQ(log.order(), std::vector<std::string>{"sender"});
    EXPECT_EQ(log.entries[0].status, STATUS_CANCELLED);
    EXPECT_FALSE(cancelIrp(irp)); // its routine was taken
}

TEST_F(HeldRequestTest, AHolderThatTookItsCancelRoutineBackCompletesWhileCancelOnlyMarks) {
    cancellable = true;
    callDriver(bottom.device, irp);
    ASSERT_NE(setCancelRoutine(held, nullptr), nullptr); // the holder completes it itself
    EXPECT_FALSE(cancelIrp(irp));
    EXPECT_TRUE(held->cancelled());
    completeWith(held, STATUS_CANCELLED);
    EXPECT_EQ(log.order(), std::vector<std::string>{"sender"});
}

TEST_F(HeldRequestTest, ACompletionFromAnotherThreadDuringTheCallWaitsForTheCallToReturn) {
    Event handed(EventType::Notification, false);
    Event completed(EventType::Notification, false);
    kernel::testing::TestThread completer([&](Event& stop) {
        waitForAnyObject({&handed, &stop}, Timeout::infinite());
        if (held != nullptr) completeWith(held, STATUS_SUCCESS);
        completed.set();
    });
    bottom.on(major::Read) = [&](DeviceObject*, Irp* r) {
        held = r;
        markPending(r);
        handed.set();
        waitForSingleObject(completed, Timeout::infinite());
        EXPECT_TRUE(log.order().empty());
        return STATUS_PENDING;
    };
    EXPECT_EQ(callDriver(bottom.device, irp), STATUS_PENDING);
    clock.settle();
    ASSERT_EQ(log.order(), std::vector<std::string>{"sender"});
    EXPECT_TRUE(log.entries[0].pendingReturned);
}

TEST_F(RequestTest, ADriverWithoutADispatchRoutineCompletesWithInvalidDeviceRequest) {
    DriverObject bare;
    DeviceObject* device = nullptr;
    ASSERT_EQ(createDevice(bare, 0, &device), STATUS_SUCCESS);
    irp = allocateIrp(1);
    ASSERT_NE(irp, nullptr);
    nextStackLocation(irp)->majorFunction = major::DeviceControl;
    sender.setOn(irp);
    EXPECT_EQ(callDriver(device, irp), STATUS_PENDING);
    clock.settle();
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].status, STATUS_INVALID_DEVICE_REQUEST);
    deleteDevice(device);
}

// A sender that reuses its request and sends it again from the completion
// routine, which runs at dispatch level, a number of rounds.
struct Resubmitter {
    TestDevice& target;
    int roundsLeft;
    std::vector<std::uintptr_t> seen;

    static NTSTATUS completed(DeviceObject*, Irp* irp, void* context) {
        auto* self = static_cast<Resubmitter*>(context);
        EXPECT_EQ(currentIrql(), Irql::Dispatch);
        self->seen.push_back(irp->ioStatus.information);
        if (--self->roundsLeft > 0) self->send(irp);
        return STATUS_MORE_PROCESSING_REQUIRED;
    }
    void send(Irp* irp) {
        reuseIrp(irp, STATUS_NOT_SUPPORTED);
        nextStackLocation(irp)->majorFunction = major::Read;
        setCompletionRoutine(irp, completed, this, true, true, true);
        EXPECT_EQ(callDriver(target.device, irp), STATUS_PENDING);
    }
};

TEST_F(RequestTest, ACompletionRoutineMayReuseAndResendItsRequest) {
    std::uintptr_t rounds = 0;
    bottom.on(major::Read) = [&](DeviceObject*, Irp* r) {
        EXPECT_EQ(r->ioStatus.status, STATUS_NOT_SUPPORTED); // as reused
        return completeWith(r, STATUS_SUCCESS, ++rounds);
    };
    ASSERT_NE(requestFor(bottom), nullptr);
    Resubmitter resubmitter{bottom, 3, {}};
    resubmitter.send(irp);
    EXPECT_TRUE(resubmitter.seen.empty());
    clock.settle();
    EXPECT_EQ(resubmitter.seen, (std::vector<std::uintptr_t>{1, 2, 3}));
}

// What a driver can do wrong with a request; each fails one check. The bottom
// device's dispatch may hold the request, which the test then completes
// (after trying to free it while held, when asked).
struct Misuse {
    const char* message;
    NTSTATUS (*dispatch)(DeviceObject* device, Irp* irp, Irp** held);
    bool freeWhileHeld = false;
};

void PrintTo(const Misuse& m, std::ostream* out) { *out << m.message; }

const Misuse misuses[] = {
    {"request completed twice",
     [](DeviceObject*, Irp* r, Irp**) {
         completeWith(r, STATUS_SUCCESS);
         return completeWith(r, STATUS_SUCCESS);
     }},
    {"request completed with its cancel routine still set",
     [](DeviceObject*, Irp* r, Irp**) {
         setCancelRoutine(r, [](DeviceObject*, Irp*) {});
         return completeWith(r, STATUS_SUCCESS);
     }},
    {"request freed while in flight",
     [](DeviceObject*, Irp* r, Irp** held) {
         *held = r;
         markPending(r);
         return STATUS_PENDING;
     },
     true},
    {"request sent with no stack location left",
     [](DeviceObject* device, Irp* r, Irp**) {
         EXPECT_EQ(callDriver(device, r), STATUS_INVALID_PARAMETER);
         return completeWith(r, STATUS_SUCCESS);
     }},
    {"dispatch routine returned without completing the request or returning STATUS_PENDING",
     [](DeviceObject*, Irp* r, Irp** held) {
         *held = r;
         return STATUS_SUCCESS;
     }},
};

class MisuseTest : public RequestTest, public ::testing::WithParamInterface<Misuse> {};

TEST_P(MisuseTest, FailsACheckAndLeavesTheRequestWhole) {
    ASSERT_NE(requestFor(bottom), nullptr);
    sender.setOn(irp);
    Irp* held = nullptr;
    bottom.on(major::Read) = [&](DeviceObject* device, Irp* r) {
        return GetParam().dispatch(device, r, &held);
    };
    ExpectKernelChecks expect;
    callDriver(bottom.device, irp);
    if (GetParam().freeWhileHeld) freeIrp(irp); // refused: the bottom device has it
    if (held != nullptr) completeWith(held, STATUS_SUCCESS);
    clock.settle();
    EXPECT_EQ(expect.messages(), std::vector<std::string>{GetParam().message});
    EXPECT_EQ(log.order(), std::vector<std::string>{"sender"});
}

INSTANTIATE_TEST_SUITE_P(Faults, MisuseTest, ::testing::ValuesIn(misuses));

TEST_F(RequestTest, ARequestLeavingItsTopWithoutARoutineToKeepItFailsACheck) {
    ASSERT_NE(requestFor(bottom), nullptr);
    ExpectKernelChecks expect;
    callDriver(bottom.device, irp);
    clock.settle();
    EXPECT_EQ(expect.messages(),
              std::vector<std::string>{"request completed past its top with no completion "
                                       "routine keeping it"});
}

} // namespace
