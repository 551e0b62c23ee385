// Selective suspend on the simulated bus: the idle request waits, the hub
// calls back once from a work item, and the request ends as the driver
// expects of a hub.
#include "sim/usb/simulated_bus.h"

#include "platform/kernel/irql.h"
#include "sim/usb/fixtures.h"
#include "sim/usb/tests/bus_stack.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>

namespace {

using namespace std::chrono_literals;
using kernel::NTSTATUS;
using usbsim::BusFault;
using usbsim::BusRequestKind;
using usbsimtest::SentRequest;

// The driver's side of the callback record: counts calls and where they ran.
struct IdleCallback {
    std::atomic<int> calls{0};
    std::atomic<bool> atPassive{true};
    usb::IdleCallbackInfo info{called, this};

    static void called(void* context) {
        auto* self = static_cast<IdleCallback*>(context);
        if (kernel::currentIrql() != kernel::Irql::Passive) self->atPassive = false;
        ++self->calls;
    }
};

class IdleNotification : public ::testing::Test, public usbsimtest::BusStack {
protected:
    IdleNotification() : BusStack(usbsim::fixtures::uac1Headset()) {}

    // An idle request the port has taken and called back for.
    SentRequest& suspendPort() {
        SentRequest& request = startIdle(callback.info);
        clock.settle();
        EXPECT_FALSE(request.done());
        EXPECT_TRUE(bus.portSuspended());
        return request;
    }

    IdleCallback callback;
};

TEST_F(IdleNotification, WaitsAndCallsBackOnceAtPassiveLevelAfterTheCall) {
    SentRequest& request = startIdle(callback.info);
    EXPECT_EQ(callback.calls, 0); // never inside the sending call
    EXPECT_FALSE(bus.portSuspended());
    clock.settle();
    EXPECT_EQ(callback.calls, 1);
    EXPECT_TRUE(callback.atPassive);
    EXPECT_TRUE(bus.portSuspended());
    clock.advance(100ms);
    EXPECT_FALSE(request.done());
    EXPECT_EQ(callback.calls, 1);
    EXPECT_EQ(bus.idleCallbacks(), 1);
    EXPECT_EQ(bus.received(BusRequestKind::idleNotification), 1);
    EXPECT_EQ(bus.pendingRequests(), 1u);
}

TEST_F(IdleNotification, EndsAsTheHubEndsItAndThePortTakesTheNext) {
    struct Case {
        const char* what;
        std::function<void(usbsimtest::BusStack&, SentRequest&)> end;
        NTSTATUS status;
    };
    const Case cases[] = {
        {"cancelled by its sender", [](auto&, SentRequest& r) { io::cancelIrp(r.irp()); },
         kernel::STATUS_CANCELLED},
        {"the port resumes", [](auto& s, SentRequest&) { EXPECT_TRUE(s.bus.resumePort()); },
         kernel::STATUS_SUCCESS},
        {"the device is unplugged",
         [](auto& s, SentRequest&) {
             s.bus.unplug();
             s.bus.replug();
         },
         kernel::STATUS_DEVICE_NOT_CONNECTED},
        {"the port is cycled",
         [](auto& s, SentRequest&) {
             s.start(usb::internal_ioctl::cyclePort, nullptr);
             s.clock.settle();
         },
         kernel::STATUS_DEVICE_NOT_CONNECTED},
    };
    int calls = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SentRequest& request = suspendPort();
        EXPECT_EQ(callback.calls, ++calls);
        c.end(*this, request);
        clock.settle();
        ASSERT_TRUE(request.done());
        EXPECT_EQ(request.status(), c.status);
        EXPECT_FALSE(bus.portSuspended());
        EXPECT_FALSE(bus.resumePort()); // nothing waits any more
        EXPECT_EQ(callback.calls, calls);
    }
    EXPECT_EQ(bus.pendingRequests(), 0u);
}

TEST_F(IdleNotification, RefusesAtOnceWhatThePortCannotTake) {
    struct Case {
        const char* what;
        std::function<void(usbsimtest::BusStack&)> arrange;
        std::uint32_t inputLength;
        bool nullCallback;
        NTSTATUS status;
    };
    const std::uint32_t whole = sizeof(usb::IdleCallbackInfo);
    const Case cases[] = {
        {"a port without idle notification",
         [](auto& s) { s.bus.setIdleNotificationSupported(false); }, whole, false,
         kernel::STATUS_NOT_SUPPORTED},
        {"an input shorter than the record", nullptr, whole - 1, false,
         kernel::STATUS_INVALID_PARAMETER},
        {"a record without a callback", nullptr, whole, true, kernel::STATUS_INVALID_PARAMETER},
        {"a stall", [](auto& s) { s.bus.injectFault(BusRequestKind::idleNotification, {}); }, whole,
         false, kernel::STATUS_UNSUCCESSFUL},
        {"a failure of the hub's choosing",
         [](auto& s) {
             s.bus.injectFault(BusRequestKind::idleNotification,
                               {BusFault::Type::fail, {}, kernel::STATUS_INSUFFICIENT_RESOURCES});
         },
         whole, false, kernel::STATUS_INSUFFICIENT_RESOURCES},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bus.setIdleNotificationSupported(true);
        if (c.arrange) c.arrange(*this);
        IdleCallback refused;
        if (c.nullCallback) refused.info.callback = nullptr;
        SentRequest& request = startIdle(refused.info, c.inputLength);
        EXPECT_FALSE(request.done());
        clock.settle();
        ASSERT_TRUE(request.done());
        EXPECT_EQ(request.status(), c.status);
        EXPECT_EQ(refused.calls, 0);
        EXPECT_FALSE(bus.portSuspended());
    }
    EXPECT_EQ(bus.idleCallbacks(), 0);
}

TEST_F(IdleNotification, SecondRequestWhileOneWaitsIsBusy) {
    SentRequest& first = suspendPort();
    IdleCallback other;
    SentRequest& second = startIdle(other.info);
    clock.settle();
    ASSERT_TRUE(second.done());
    EXPECT_EQ(second.status(), kernel::STATUS_DEVICE_BUSY);
    EXPECT_EQ(other.calls, 0);
    EXPECT_FALSE(first.done()); // the first still waits, the port still suspended
    EXPECT_TRUE(bus.portSuspended());
    EXPECT_EQ(bus.received(BusRequestKind::idleNotification), 2);
}

TEST_F(IdleNotification, CancelledBeforeTheHubDecidesNeverCallsBack) {
    SentRequest& request = startIdle(callback.info);
    io::cancelIrp(request.irp());
    clock.settle();
    ASSERT_TRUE(request.done());
    EXPECT_EQ(request.status(), kernel::STATUS_CANCELLED);
    EXPECT_EQ(callback.calls, 0);
}

// A held request is a hub that never suspends; a delayed one suspends late.
TEST_F(IdleNotification, HeldOrDelayedDecisionWaitsForIt) {
    bus.injectFault(BusRequestKind::idleNotification, {BusFault::Type::hold});
    SentRequest& held = startIdle(callback.info);
    clock.advance(1s);
    EXPECT_EQ(callback.calls, 0);
    EXPECT_FALSE(held.done());
    EXPECT_TRUE(bus.resumePort());
    clock.settle();
    ASSERT_TRUE(held.done());
    EXPECT_EQ(held.status(), kernel::STATUS_SUCCESS);

    bus.injectFault(BusRequestKind::idleNotification, {BusFault::Type::delay, 20ms});
    SentRequest& delayed = startIdle(callback.info);
    clock.advance(19ms);
    EXPECT_EQ(callback.calls, 0);
    clock.advance(1ms);
    clock.settle();
    EXPECT_EQ(callback.calls, 1);
    EXPECT_FALSE(delayed.done());
    EXPECT_TRUE(bus.portSuspended());
}

} // namespace
