// Devices for tests of requests and of the user-mode side: every device of
// the test driver hands each request to the test's handler for its major
// function (kept in the device's extension) and, without one, completes it
// with success. A TestDevice stacks on the device below it and takes itself
// off again when it goes, so a test's devices are declared bottom first.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/irp.h"

#include <gtest/gtest.h>

#include <functional>

namespace io::testing {

using Handler = std::function<kernel::NTSTATUS(DeviceObject* device, Irp* irp)>;

inline kernel::NTSTATUS completeWith(Irp* irp, kernel::NTSTATUS status,
                                     std::uintptr_t information = 0) {
    irp->ioStatus = {status, information};
    completeRequest(irp);
    return status;
}

// A power request's host that sends it down the whole stack of the device it
// is for, in the location the request came with.
inline kernel::NTSTATUS sendToTopOfStack(DeviceObject* device, Irp* irp) {
    skipCurrentStackLocation(irp);
    DeviceObject* top = getAttachedDeviceReference(device);
    const kernel::NTSTATUS status = callDriver(top, irp);
    dereferenceDevice(top);
    return status;
}

class TestDevice {
public:
    explicit TestDevice(TestDevice* below = nullptr, const DeviceIdentity* identity = nullptr) {
        static DriverObject driver = [] {
            DriverObject object;
            for (DispatchRoutine& routine : object.majorFunction) routine = dispatch;
            return object;
        }();
        EXPECT_EQ(createDevice(driver, sizeof(TestDevice*), &device), kernel::STATUS_SUCCESS);
        *static_cast<TestDevice**>(device->extension()) = this;
        if (identity != nullptr) {
            EXPECT_EQ(setDeviceIdentity(device, *identity), kernel::STATUS_SUCCESS);
        }
        if (below != nullptr) {
            below_ = below->device;
            EXPECT_EQ(attachDeviceToDeviceStack(device, below_), below_);
        }
    }
    ~TestDevice() {
        if (below_ != nullptr) detachDevice(below_);
        deleteDevice(device);
    }
    TestDevice(const TestDevice&) = delete;
    TestDevice& operator=(const TestDevice&) = delete;

    Handler& on(std::uint8_t majorFunction) { return handlers_[majorFunction]; }

    DeviceObject* device = nullptr;

private:
    static kernel::NTSTATUS dispatch(DeviceObject* device, Irp* irp) {
        TestDevice* self = *static_cast<TestDevice**>(device->extension());
        const Handler& handler = self->handlers_[currentStackLocation(irp)->majorFunction];
        return handler ? handler(device, irp) : completeWith(irp, kernel::STATUS_SUCCESS);
    }

    DeviceObject* below_ = nullptr;
    Handler handlers_[major::count];
};

} // namespace io::testing
