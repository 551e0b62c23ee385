// Power requests: what the host's routine receives, the ways the request
// can take from there, and when the driver's completion function hears of
// it.
#include "platform/io/irp.h"
#include "platform/io/power_request.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/pool.h"
#include "platform/tests/io_test_devices.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using namespace kernel;
using namespace io;
using io::testing::completeWith;
using io::testing::TestDevice;

struct Outcome {
    DeviceObject* device;
    std::uint8_t minorFunction;
    DevicePowerState state;
    NTSTATUS status;
};

class PowerRequestTest : public ::testing::Test {
protected:
    void SetUp() override { setPowerRequestRoutine(toHost, this); }

    static NTSTATUS toHost(void* self, DeviceObject* device, Irp* irp) {
        return static_cast<PowerRequestTest*>(self)->host(device, irp);
    }
    static void completed(DeviceObject* device, std::uint8_t minorFunction, DevicePowerState state,
                          void* self, const IoStatusBlock& ioStatus) {
        static_cast<PowerRequestTest*>(self)->outcomes.push_back(
            {device, minorFunction, state, ioStatus.status});
    }
    NTSTATUS request(DevicePowerState state) {
        return requestDevicePowerState(function.device, state, completed, this);
    }

    ManualClock clock;
    TestDevice physical;
    TestDevice function{&physical};
    std::function<NTSTATUS(DeviceObject*, Irp*)> host = [](DeviceObject*, Irp* irp) {
        return completeWith(irp, STATUS_SUCCESS);
    };
    std::vector<Outcome> outcomes;
};

TEST_F(PowerRequestTest, TheHostGetsASetPowerRequestWithALocationAboveTheDevicesStack) {
    host = [this](DeviceObject* device, Irp* irp) {
        EXPECT_EQ(device, function.device);
        EXPECT_EQ(irp->stackCount(), function.device->stackSize() + 1);
        EXPECT_EQ(irp->ioStatus.status, STATUS_NOT_SUPPORTED);
        const IoStackLocation* at = currentStackLocation(irp);
        EXPECT_EQ(at->majorFunction, major::Power);
        EXPECT_EQ(at->minorFunction, minorPower::SetPower);
        EXPECT_EQ(at->parameters.power.type, PowerStateType::Device);
        EXPECT_EQ(at->parameters.power.state, DevicePowerState::D3);
        return completeWith(irp, STATUS_SUCCESS);
    };
    EXPECT_EQ(request(DevicePowerState::D3), STATUS_PENDING);
    EXPECT_TRUE(outcomes.empty()); // never inside the call that asked
    clock.settle();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].device, function.device);
    EXPECT_EQ(outcomes[0].minorFunction, minorPower::SetPower);
    EXPECT_EQ(outcomes[0].state, DevicePowerState::D3);
    EXPECT_EQ(outcomes[0].status, STATUS_SUCCESS);
}

TEST_F(PowerRequestTest, TheHostMayPassTheRequestDownTheDevicesStack) {
    std::vector<DevicePowerState> seen;
    host = io::testing::sendToTopOfStack;
    function.on(major::Power) = [&](DeviceObject*, Irp* irp) {
        seen.push_back(currentStackLocation(irp)->parameters.power.state);
        copyCurrentStackLocationToNext(irp);
        return callDriver(physical.device, irp);
    };
    physical.on(major::Power) = [](DeviceObject*, Irp* irp) {
        return completeWith(irp, STATUS_UNSUCCESSFUL);
    };
    EXPECT_EQ(request(DevicePowerState::D0), STATUS_PENDING);
    clock.settle();
    EXPECT_EQ(seen, std::vector<DevicePowerState>{DevicePowerState::D0});
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].status, STATUS_UNSUCCESSFUL);
}

TEST_F(PowerRequestTest, ARequestTheHostKeepsCompletesWhenTheHostCompletesIt) {
    Irp* held = nullptr;
    host = [&](DeviceObject*, Irp* irp) {
        held = irp;
        markPending(irp);
        return STATUS_PENDING;
    };
    request(DevicePowerState::D2);
    clock.settle();
    EXPECT_TRUE(outcomes.empty());
    ASSERT_NE(held, nullptr);
    completeWith(held, STATUS_SUCCESS);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].state, DevicePowerState::D2);
}

TEST_F(PowerRequestTest, RefusedRequestsNeverComplete) {
    EXPECT_EQ(requestDevicePowerState(nullptr, DevicePowerState::D0, completed, this),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(request(DevicePowerState::Unspecified), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(request(static_cast<DevicePowerState>(5)), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(requestDevicePowerState(function.device, DevicePowerState::D0, nullptr, this),
              STATUS_INVALID_PARAMETER);

    const std::uint64_t before = poolRequestCount();
    ASSERT_EQ(request(DevicePowerState::D1), STATUS_PENDING);
    clock.settle();
    outcomes.clear();
    const std::uint64_t requests = poolRequestCount() - before;
    for (std::uint64_t n = 1; n <= requests; ++n) {
        failPoolRequest(n);
        EXPECT_EQ(request(DevicePowerState::D1), STATUS_INSUFFICIENT_RESOURCES) << n;
    }
    setPowerRequestRoutine(nullptr, nullptr);
    EXPECT_EQ(request(DevicePowerState::D1), STATUS_NOT_SUPPORTED);
    clock.settle();
    EXPECT_TRUE(outcomes.empty());
}

} // namespace
