// Events raised on another thread (as the adapter's notifying context
// raises control changes) while the system enables and disables other
// entries: an entry enabled throughout sees every raise, and no entry is
// touched once disabled. Run under ThreadSanitizer with the platform tests.
#include "platform/portcls/subdevice_access.h"
#include "toy_device_fixture.h"

#include <gtest/gtest.h>

#include <thread>

namespace portcls::testing {
namespace {

TEST_F(ToyDeviceTest, RaisesFromAnotherThreadReachEveryEntryEnabledThroughout) {
    start();
    FilterHandle topology;
    ASSERT_EQ(topology.open(functional(), u"Topology"), kernel::STATUS_SUCCESS);
    EventHandle steady;
    ASSERT_EQ(
        steady.open(topology, ks::KSEVENTSETID_AudioControlChange, ks::KSEVENT_CONTROL_CHANGE, 0),
        kernel::STATUS_SUCCESS);
    constexpr std::uint32_t raises = 2000;
    IPortEvents* events = state.topologyEvents;
    std::thread notifier([events] {
        for (std::uint32_t i = 0; i < raises; ++i)
            events->GenerateEventList(&ks::KSEVENTSETID_AudioControlChange,
                                      ks::KSEVENT_CONTROL_CHANGE, false, 0, true, 0);
    });
    for (int i = 0; i < 200; ++i) {
        EventHandle passing;
        ASSERT_EQ(passing.open(topology, ks::KSEVENTSETID_AudioControlChange,
                               ks::KSEVENT_CONTROL_CHANGE, 0),
                  kernel::STATUS_SUCCESS);
        EXPECT_LE(passing.signalled(), raises);
    }
    notifier.join();
    EXPECT_EQ(steady.signalled(), raises);
    steady.close();
    topology.close();
    remove();
}

} // namespace
} // namespace portcls::testing
