// The driver loaded by the simulated system from its entry point and started
// on the simulated headsets: what the port layer and the system see
// registered, names across restarts, starts that fail at every step, and
// the removals.
#include "driver/adapter/driver_entry.h"
#include "driver/common/interface_ids.h"
#include "platform/io/device_interface.h"
#include "platform/kernel/os_version.h"
#include "platform/kernel/pool.h"
#include "platform/ks/topology_ids.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/simulated_system.h"
#include "sim/usb/fixtures.h"
#include "stand_in_wave.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using kernel::NTSTATUS;
using kernel::STATUS_SUCCESS;
using Names = std::vector<std::u16string>;
using Interfaces = std::vector<std::pair<std::u16string, bool>>;

// The release 1 headset with the firmware string the release 1 model
// identifies a device by.
usbsim::FunctionDescription NamedHeadset() {
    usbsim::FunctionDescription description = usbsim::fixtures::uac1Headset();
    description.strings.push_back({.index = 0x50, .text = u"USB Headset FW"});
    return description;
}

class DriverStartTest : public ::testing::Test {
protected:
    DriverStartTest() { entry_test::standInWaveFaults = {}; }
    ~DriverStartTest() override {
        system.reset();
        kernel::clearPoolFaults();
        kernel::setOsVersion(kernel::defaultOsVersion);
    }

    void Make(usbsim::FunctionDescription description) { system.emplace(std::move(description)); }
    io::DeviceObject* Functional() const { return system->device()->attachedDevice(); }
    Names SubdeviceNames() const {
        Names names;
        for (const portcls::SubdeviceRecord& record : portcls::registeredSubdevices(Functional()))
            names.push_back(record.name);
        return names;
    }
    // The private interfaces registered on the device: reference string and
    // whether enabled.
    Interfaces PrivateInterfaces() {
        Interfaces found;
        for (const io::DeviceInterfaceEntry& entry :
             system->host().deviceInterfaces(system->device()))
            if (entry.referenceString.starts_with(u"HX"))
                found.emplace_back(entry.referenceString, entry.enabled);
        return found;
    }

    std::optional<ossim::SimulatedSystem> system;
};

TEST_F(DriverStartTest, StartedHeadsetRegistersTopologyNamedEndpointsConnectionsAndInterfaces) {
    struct Case {
        const char* name;
        usbsim::FunctionDescription (*device)();
        Names subdevices;
        bool asioEnabled; // an endpoint serves ASIO
    };
    const Case cases[] = {
        {"release 1", NamedHeadset, {u"GlobalTopo", u"HPOut00Wave", u"RecIn00Wave"}, false},
        {"release 2",
         usbsim::fixtures::uac2FeedbackDevice,
         {u"GlobalTopo", u"HPOut00Wave", u"MicIn00Wave"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Make(c.device());
        ASSERT_EQ(system->load(DriverEntry), STATUS_SUCCESS);
        ASSERT_EQ(system->plug(), STATUS_SUCCESS);
        EXPECT_EQ(SubdeviceNames(), c.subdevices);
        // One connection per endpoint, between its wave filter and the topology.
        for (const portcls::PhysicalConnectionRecord& connection :
             system->host().physicalConnections(system->device()))
            EXPECT_TRUE(connection.fromName == u"GlobalTopo" || connection.toName == u"GlobalTopo");
        EXPECT_EQ(system->host().physicalConnections(system->device()).size(), 2u);
        for (const portcls::SubdeviceRecord& record : portcls::registeredSubdevices(Functional()))
            EXPECT_FALSE(record.categories.empty())
                << std::string(record.name.begin(), record.name.end());
        EXPECT_EQ(PrivateInterfaces(), (Interfaces{{u"HXEnumPrivateInterface", true},
                                                   {u"HXASIOPrivateInterface", c.asioEnabled}}));
        EXPECT_EQ(system->remove(), STATUS_SUCCESS);
        EXPECT_EQ(system->host().stacks(), 0u);
        system.reset();
    }
}

} // namespace
