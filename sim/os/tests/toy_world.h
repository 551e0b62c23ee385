// The world of the host's tests: a manual clock, a physical device, the
// host with the toy driver, declared so that the host goes before the device
// and the clock last.
#pragma once

#include "sim/os/driver_host.h"
#include "sim/os/tests/physical_device.h"
#include "sim/os/tests/toy_driver.h"

#include <gtest/gtest.h>

namespace ossim::testing {

inline constexpr char16_t toyRegistryPath[] =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\toy";

// Steps that bring a host and a device's stack to a point of their life, for
// tables of cases that start from there.
using Step = void (*)(DriverHost& host, io::DeviceObject* physical);

namespace steps {
inline void nothing(DriverHost&, io::DeviceObject*) {}
inline void loaded(DriverHost& host, io::DeviceObject*) {
    EXPECT_EQ(host.load(toy::driverEntry, toyRegistryPath), kernel::STATUS_SUCCESS);
}
inline void added(DriverHost& host, io::DeviceObject* physical) {
    loaded(host, physical);
    EXPECT_EQ(host.addDevice(physical), kernel::STATUS_SUCCESS);
}
inline void started(DriverHost& host, io::DeviceObject* physical) {
    added(host, physical);
    EXPECT_EQ(host.startDevice(physical), kernel::STATUS_SUCCESS);
}
inline void surpriseRemoved(DriverHost& host, io::DeviceObject* physical) {
    started(host, physical);
    EXPECT_EQ(host.surpriseRemove(physical), kernel::STATUS_SUCCESS);
}
inline void removed(DriverHost& host, io::DeviceObject* physical) {
    started(host, physical);
    EXPECT_EQ(host.removeDevice(physical), kernel::STATUS_SUCCESS);
}
} // namespace steps

class ToyWorldTest : public ::testing::Test {
protected:
    ToyWorldTest() { toy::clearJournal(); }

    // Loaded, added and started; the journal starts after it.
    void bringUp() {
        steps::started(host, physical.device());
        toy::clearJournal();
    }

    kernel::ManualClock clock;
    PhysicalDevice physical;
    DriverHost host{clock};
};

} // namespace ossim::testing
