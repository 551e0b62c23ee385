// A test physical device with an identity, the toy driver loaded on it, a
// manual clock, and the plug-and-play requests the system sends, each sent
// with io::callDriver to the top of the stack and waited for with a settle.
#pragma once

#include "platform/io/irp.h"
#include "platform/kernel/clock.h"
#include "platform/tests/io_test_devices.h"
#include "toy_adapter.h"

#include <gtest/gtest.h>

namespace portcls::testing {

inline const io::DeviceIdentity toyIdentity{{u"USB\\VID_1B3F&PID_2008&MI_00"},
                                            u"7&1a2b3c&0&0000",
                                            u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0007"};

class ToyDeviceTest : public ::testing::Test {
protected:
    ToyDeviceTest() {
        world = &state;
        EXPECT_EQ(PcInitializeAdapterDriver(&driver, nullptr, toyAddDevice),
                  kernel::STATUS_SUCCESS);
    }
    ~ToyDeviceTest() override {
        world = nullptr;
        EXPECT_EQ(liveToys.load(), toysAtStart) << "toy objects the port layer never let go";
    }

    kernel::NTSTATUS addDevice() { return driver.addDevice(&driver, physical.device); }
    // The functional device on top of the physical one; null before add and after remove.
    io::DeviceObject* functional() const { return physical.device->attachedDevice(); }

    // Sends a plug-and-play request down the whole stack and returns its
    // outcome once it completed.
    kernel::NTSTATUS sendPnp(std::uint8_t minor, const io::ResourceList* resources = nullptr,
                             io::DeviceCapabilities* capabilities = nullptr) {
        return sendPnpTo(physical.device, minor, resources, capabilities);
    }
    kernel::NTSTATUS sendPnpTo(io::DeviceObject* bottom, std::uint8_t minor,
                               const io::ResourceList* resources = nullptr,
                               io::DeviceCapabilities* capabilities = nullptr) {
        io::DeviceObject* top = io::getAttachedDeviceReference(bottom);
        if (!holdTopWhileSending) io::dereferenceDevice(top);
        io::Irp* irp = io::allocateIrp(top->stackSize());
        io::IoStackLocation* location = io::nextStackLocation(irp);
        location->majorFunction = io::major::Pnp;
        location->minorFunction = minor;
        if (minor == io::minorPnp::QueryCapabilities)
            location->parameters.deviceCapabilities = {capabilities};
        else
            location->parameters.startDevice = {resources, resources};
        irp->ioStatus = {kernel::STATUS_NOT_SUPPORTED, 0};
        Outcome outcome;
        io::setCompletionRoutine(irp, keep, &outcome, true, true, true);
        (void)io::callDriver(top, irp);
        if (holdTopWhileSending) io::dereferenceDevice(top);
        clock.settle();
        EXPECT_TRUE(outcome.completed);
        io::freeIrp(irp);
        return outcome.status;
    }

    // Added and started; the test fails when either fails.
    void start() {
        ASSERT_EQ(addDevice(), kernel::STATUS_SUCCESS);
        ASSERT_EQ(sendPnp(io::minorPnp::StartDevice, &resources), kernel::STATUS_SUCCESS);
    }
    void remove() { EXPECT_EQ(sendPnp(io::minorPnp::RemoveDevice), kernel::STATUS_SUCCESS); }

    const int toysAtStart = liveToys.load();
    World state;
    kernel::ManualClock clock;
    io::DriverObject driver;
    io::testing::TestDevice physical{nullptr, &toyIdentity};
    io::ResourceList resources{0, nullptr};
    // A sender that holds no reference on the device it sends to leaves
    // the device's memory to the device stack.
    bool holdTopWhileSending = true;

private:
    struct Outcome {
        bool completed = false;
        kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    };
    static kernel::NTSTATUS keep(io::DeviceObject*, io::Irp* irp, void* context) {
        auto* outcome = static_cast<Outcome*>(context);
        outcome->completed = true;
        outcome->status = irp->ioStatus.status;
        return kernel::STATUS_MORE_PROCESSING_REQUIRED;
    }
};

} // namespace portcls::testing
