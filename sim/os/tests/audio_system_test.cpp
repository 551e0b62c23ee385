// The toy adapter on a simulated USB device from load to removal: what the
// host sees registered, property and event requests on its filters, device
// power reaching adapter and miniports, and user-mode device controls.
#include "platform/io/device_interface.h"
#include "platform/kernel/pool.h"
#include "platform/ks/audio_properties.h"
#include "platform/ks/identifier.h"
#include "platform/ks/jack.h"
#include "platform/ks/topology_ids.h"
#include "sim/os/tests/toy_audio_system.h"
#include "sim/os/user_client.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace kernel;
using io::DevicePowerState;
using ossim::testing::toyAdapterEntry;
using Log = std::vector<std::string>;

class AudioSystemTest : public ossim::testing::ToyAudioSystemTest {};

struct RemovalCase {
    const char* name;
    NTSTATUS (ossim::SimulatedSystem::*remove)();
    Log log; // what the toys saw of it
};

TEST_F(AudioSystemTest, InstallsAndRemovesLeavingNoBlocksInterfacesOrToys) {
    const RemovalCase cases[] = {
        {"in order", &ossim::SimulatedSystem::remove, {"stream gone"}},
        {"by surprise", &ossim::SimulatedSystem::surpriseRemove, {"stream gone"}},
    };
    for (const RemovalCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t blocksBefore = poolLiveBlocks();
        const int toysBefore = portcls::testing::liveToys.load();
        install();
        EXPECT_EQ(state.startCalls, 1);
        EXPECT_EQ(host().deviceInterfaces(device()).size(), 4u); // two categories each
        EXPECT_EQ(io::enabledDeviceInterfaces(ks::KSCATEGORY_AUDIO).size(), 2u);
        EXPECT_GT(portcls::testing::liveToys.load(), toysBefore);
        // A pin left open when the device goes is stepped down and let go.
        portcls::FilterHandle wave;
        ASSERT_EQ(host().openFilter(device(), u"Wave", wave), STATUS_SUCCESS);
        ossim::WaveStream stream;
        const ks::DataFormatWaveFormatEx format = portcls::testing::pcmFormat();
        ASSERT_EQ(
            stream.open(wave, 0, &format.DataFormat, 96, {[](std::uint8_t*, std::uint32_t) {}, {}}),
            STATUS_SUCCESS);
        state.log.clear();

        EXPECT_EQ((system().*c.remove)(), STATUS_SUCCESS);
        EXPECT_EQ(state.log, c.log);
        EXPECT_EQ(host().stacks(), 0u);
        // The interfaces stay registered on the bus's device, all disabled.
        for (const io::DeviceInterfaceEntry& entry : host().deviceInterfaces(device()))
            EXPECT_FALSE(entry.enabled);
        EXPECT_TRUE(io::enabledDeviceInterfaces(ks::KSCATEGORY_AUDIO).empty());
        EXPECT_EQ(device()->attachedDevice(), nullptr);
        stream.close();
        wave.close();
        EXPECT_EQ(host().unload(), STATUS_SUCCESS);
        EXPECT_FALSE(host().loaded());
        EXPECT_EQ(portcls::testing::liveToys.load(), toysBefore);
        EXPECT_EQ(poolLiveBlocks(), blocksBefore);
        EXPECT_EQ(system().bus().plugAndPlay().interfaceReferences(), 0);
        system().bus().replug();
        state = {};
    }
}

TEST_F(AudioSystemTest, RecordsSubdeviceNamesCategoriesAndConnectionsOnceStarted) {
    ASSERT_EQ(system().load(toyAdapterEntry), STATUS_SUCCESS);
    portcls::FilterHandle filter;
    EXPECT_EQ(host().openFilter(device(), u"Wave", filter), STATUS_NO_SUCH_DEVICE);
    ASSERT_EQ(host().addDevice(device()), STATUS_SUCCESS);
    EXPECT_TRUE(host().subdevices(device()).empty());
    EXPECT_EQ(host().openFilter(device(), u"Wave", filter), STATUS_INVALID_DEVICE_REQUEST);
    ASSERT_EQ(host().startDevice(device()), STATUS_SUCCESS);

    // The port layer's records (their categories are its tests' business).
    const auto subdevices = host().subdevices(device());
    ASSERT_EQ(subdevices.size(), 2u);
    EXPECT_EQ(subdevices[0].name, u"Topology");
    EXPECT_EQ(subdevices[1].name, u"Wave");
    EXPECT_EQ(host().physicalConnections(device()),
              (std::vector<portcls::PhysicalConnectionRecord>{{u"Wave", 1, u"Topology", 0}}));
    // One enabled interface per category, the name as reference string, on
    // the bus's device with its instance name.
    const auto interfaces = host().deviceInterfaces(device());
    ASSERT_EQ(interfaces.size(), 4u);
    for (const io::DeviceInterfaceEntry& entry : interfaces) {
        EXPECT_TRUE(entry.enabled);
        EXPECT_TRUE(entry.referenceString == u"Topology" || entry.referenceString == u"Wave");
        EXPECT_NE(entry.symbolicLink.find(system().bus().identity().instanceName),
                  std::u16string::npos);
    }
    EXPECT_EQ(host().openFilter(device(), u"Wave", filter), STATUS_SUCCESS);
    filter.close();
    ASSERT_EQ(system().surpriseRemove(), STATUS_SUCCESS);
    EXPECT_TRUE(host().subdevices(device()).empty());
}

TEST_F(AudioSystemTest, AnEnabledEventIsRaisedByTheChangeItWatches) {
    install();
    portcls::FilterHandle topology;
    ASSERT_EQ(host().openFilter(device(), u"Topology", topology), STATUS_SUCCESS);
    portcls::EventHandle change;
    ASSERT_EQ(
        change.open(topology, ks::KSEVENTSETID_AudioControlChange, ks::KSEVENT_CONTROL_CHANGE, 0),
        STATUS_SUCCESS);
    std::uint32_t channel = 0;
    std::int32_t level = -50;
    std::uint32_t returned = 0;
    const ks::Identifier volume{ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL,
                                ks::property_verb::set};
    for (std::uint32_t raised = 1; raised <= 3; ++raised) {
        ASSERT_EQ(topology.property(volume, 0, &channel, 4, &level, 4, &returned), STATUS_SUCCESS);
        system().step(std::chrono::milliseconds(1));
        EXPECT_EQ(change.signalled(), raised);
    }
    // An event of the filter, where the toy has none, cannot be enabled.
    portcls::EventHandle none;
    EXPECT_NE(none.open(topology, ks::KSEVENTSETID_AudioControlChange, ks::KSEVENT_CONTROL_CHANGE,
                        portcls::nodeNone),
              STATUS_SUCCESS);
    change.close();
    EXPECT_EQ(system().remove(), STATUS_SUCCESS);
}

struct PowerCase {
    DevicePowerState state;
    Log log;
};

TEST_F(AudioSystemTest, DevicePowerReachesTheAdapterThenEachMiniportInOrder) {
    install();
    const PowerCase cases[] = {
        {DevicePowerState::D3, {"adapter D3", "topology D3", "wave D3"}},
        {DevicePowerState::D3, {}}, // the same state again tells no one
        {DevicePowerState::D2, {"adapter D2", "topology D2", "wave D2"}},
        {DevicePowerState::D0, {"adapter D0", "topology D0", "wave D0"}},
    };
    for (const PowerCase& c : cases) {
        state.log.clear();
        EXPECT_EQ(host().setDevicePower(device(), c.state), STATUS_SUCCESS);
        EXPECT_EQ(host().powerState(device()), c.state);
        EXPECT_EQ(state.log, c.log);
    }
    EXPECT_EQ(system().remove(), STATUS_SUCCESS);
}

// The jack description of the topology filter, asked from user mode with
// room of several sizes.
struct ControlCase {
    const char* name;
    std::uint32_t outputLength;
    NTSTATUS status;
    std::uintptr_t information;
    std::size_t outputBytes;
};

TEST_F(AudioSystemTest, UserModeControlsGetTheValueUpToTheRoomGiven) {
    install();
    ossim::UserClient client(system().clock());
    std::uint32_t file = 0;
    EXPECT_EQ(client.open(ks::KSCATEGORY_TOPOLOGY, u"Wave", &file), STATUS_OBJECT_NAME_NOT_FOUND);
    ASSERT_EQ(client.open(ks::KSCATEGORY_TOPOLOGY, u"topology", &file), STATUS_SUCCESS);
    constexpr std::size_t jackSize = sizeof(ks::JackDescription);
    const ControlCase cases[] = {
        {"no room", 0, STATUS_BUFFER_TOO_SMALL, jackSize, 0},
        {"short", jackSize - 1, STATUS_BUFFER_TOO_SMALL, jackSize, 0},
        {"exact", jackSize, STATUS_SUCCESS, jackSize, jackSize},
        {"long", 256, STATUS_SUCCESS, jackSize, jackSize},
    };
    const ks::Identifier jack{ks::KSPROPSETID_Jack, ks::KSPROPERTY_JACK_DESCRIPTION,
                              ks::property_verb::get};
    std::vector<std::uint8_t> input(sizeof jack);
    std::memcpy(input.data(), &jack, sizeof jack);
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ossim::ControlResult result =
            client.control(file, ks::IOCTL_KS_PROPERTY, input, c.outputLength);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.information, c.information);
        ASSERT_EQ(result.output.size(), c.outputBytes);
        if (c.outputBytes != 0) {
            ks::JackDescription description{};
            std::memcpy(&description, result.output.data(), sizeof description);
            EXPECT_EQ(description.Color, 0x00FF00u);
        }
    }
    // A request too short for its identifier is refused.
    const ossim::ControlResult shortInput =
        client.control(file, ks::IOCTL_KS_PROPERTY, std::span(input).first(8), 64);
    EXPECT_EQ(shortInput.status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(client.close(file), STATUS_SUCCESS);
    EXPECT_EQ(system().remove(), STATUS_SUCCESS);
}

} // namespace
