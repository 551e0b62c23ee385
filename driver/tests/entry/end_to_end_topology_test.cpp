// The topology filter from the driver's entry point: a control the device
// changes on its own reaches the node that shows it, and a control set on a
// node reaches the device.
#include "driver/tests/entry/end_to_end_world.h"
#include "platform/ks/audio_properties.h"
#include "platform/ks/identifier.h"
#include "platform/ks/topology_ids.h"
#include "platform/portcls/subdevice_access.h"
#include "platform/usb/audio_requests.h"
#include "platform/usb/setup_packet.h"
#include "sim/os/system_call.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace {

using e2e::DeviceCase;
using e2e::Devices;
using e2e::World;
using kernel::STATUS_SUCCESS;

constexpr std::int32_t OneDecibel = 65536; // levels on the filter are 16.16 dB

// The filter's nodes of a type, by index.
std::vector<std::uint32_t> NodesOfType(const portcls::FilterHandle& filter,
                                       const kernel::Guid& type) {
    std::vector<std::uint32_t> nodes;
    const portcls::FilterDescriptor* descriptor = filter.descriptor();
    if (descriptor == nullptr) return nodes;
    for (std::uint32_t i = 0; i < descriptor->NodeCount; ++i)
        if (descriptor->Nodes[i].Type != nullptr && *descriptor->Nodes[i].Type == type)
            nodes.push_back(i);
    return nodes;
}

// A channel property of a node, read or written on a system thread while
// the bus serves the requests it sends.
kernel::NTSTATUS ChannelProperty(World& world, std::uint32_t verb, std::uint32_t id,
                                 std::uint32_t node, std::int32_t* value) {
    return ossim::callOnSystemThread(world.system.clock(), [&world, verb, id, node, value] {
        std::uint32_t channel = 0;
        std::uint32_t bytes = 0;
        return world.filter.property({ks::KSPROPSETID_Audio, id, verb}, node, &channel,
                                     sizeof(channel), value, sizeof(*value), &bytes);
    });
}

// The device's own SET_CUR of a feature unit control on one channel (the
// request code is the same in both releases).
void DeviceSets(World& world, std::uint8_t unit, std::uint8_t selector, std::uint8_t channel,
                std::vector<std::uint8_t> value) {
    const usb::SetupPacket setup = usb::makeSetupPacket(
        usb::Direction::out, usb::RequestType::classSpecific, usb::Recipient::interface,
        usb::uac1::request::setCur, static_cast<std::uint16_t>(selector << 8 | channel),
        static_cast<std::uint16_t>(unit << 8 |
                                   world.system.function().description().controlInterface),
        static_cast<std::uint16_t>(value.size()));
    ASSERT_FALSE(world.system.function().control(setup, value).stalled);
}

// The device turns its headphones down to -15 dB and says so on its status
// endpoint: the one volume node of that unit raises one control-change event
// and reads the new level; no other volume node moves.
TEST(EndToEndTopology, DeviceVolumeChangeRaisesOneEventOnItsNode) {
    for (const DeviceCase& device : Devices) {
        SCOPED_TRACE(device.name);
        World world(device, u"GlobalTopo");
        const std::vector<std::uint32_t> volumes = NodesOfType(world.filter, ks::KSNODETYPE_VOLUME);
        ASSERT_FALSE(volumes.empty());
        std::vector<std::unique_ptr<portcls::EventHandle>> events;
        std::vector<std::int32_t> before;
        for (std::uint32_t node : volumes) {
            events.push_back(std::make_unique<portcls::EventHandle>());
            ASSERT_EQ(events.back()->open(world.filter, ks::KSEVENTSETID_AudioControlChange,
                                          ks::KSEVENT_CONTROL_CHANGE, node),
                      STATUS_SUCCESS)
                << node;
            std::int32_t level = 0;
            ASSERT_EQ(ChannelProperty(world, ks::property_verb::get,
                                      ks::KSPROPERTY_AUDIO_VOLUMELEVEL, node, &level),
                      STATUS_SUCCESS)
                << node;
            before.push_back(level);
        }
        ASSERT_EQ(std::count(before.begin(), before.end(), -15 * OneDecibel), 0);
        // -15 dB in 1/256 dB, little-endian, on both channels.
        for (std::uint8_t channel : {1, 2})
            DeviceSets(world, device.headphoneUnit, usb::feature_control::volume, channel,
                       {0x00, 0xF1});
        if (device.release2)
            world.system.bus().postStatusMessage(
                {0x00, 0x01, 0x01, usb::feature_control::volume, 0x00, device.headphoneUnit});
        else
            world.system.bus().postStatusMessage({0x00, device.headphoneUnit});
        world.system.step(std::chrono::milliseconds(100));

        int raised = 0;
        for (std::size_t i = 0; i < volumes.size(); ++i) {
            SCOPED_TRACE(volumes[i]);
            std::int32_t level = 0;
            ASSERT_EQ(ChannelProperty(world, ks::property_verb::get,
                                      ks::KSPROPERTY_AUDIO_VOLUMELEVEL, volumes[i], &level),
                      STATUS_SUCCESS);
            if (events[i]->signalled() == 0) {
                EXPECT_EQ(level, before[i]);
                continue;
            }
            ++raised;
            EXPECT_EQ(events[i]->signalled(), 1u);
            EXPECT_EQ(level, -15 * OneDecibel);
        }
        EXPECT_EQ(raised, 1);
        events.clear();
    }
}

// Mute set on a node of the filter: the device gets one SET_CUR of a unit's
// mute and holds the value; the headphones' unit is among those reached.
TEST(EndToEndTopology, MuteSetOnNodeReachesDevice) {
    for (const DeviceCase& device : Devices) {
        SCOPED_TRACE(device.name);
        World world(device, u"GlobalTopo");
        const std::vector<std::uint32_t> mutes = NodesOfType(world.filter, ks::KSNODETYPE_MUTE);
        ASSERT_FALSE(mutes.empty());
        bool headphonesReached = false;
        for (std::uint32_t node : mutes) {
            SCOPED_TRACE(node);
            std::int32_t muted = 0;
            ASSERT_EQ(ChannelProperty(world, ks::property_verb::get, ks::KSPROPERTY_AUDIO_MUTE,
                                      node, &muted),
                      STATUS_SUCCESS);
            world.system.function().clearLog();
            std::int32_t wanted = muted != 0 ? 0 : 1;
            ASSERT_EQ(ChannelProperty(world, ks::property_verb::set, ks::KSPROPERTY_AUDIO_MUTE,
                                      node, &wanted),
                      STATUS_SUCCESS);
            std::vector<usbsim::LoggedRequest> sets;
            for (const usbsim::LoggedRequest& logged : world.system.function().log())
                if (logged.setup.bRequest == usb::uac1::request::setCur &&
                    logged.setup.wValue.value() >> 8 == usb::feature_control::mute)
                    sets.push_back(logged);
            ASSERT_EQ(sets.size(), 1u);
            EXPECT_FALSE(sets[0].reply.stalled);
            const auto unit = static_cast<std::uint8_t>(sets[0].setup.wIndex.value() >> 8);
            const auto channel = static_cast<std::uint8_t>(sets[0].setup.wValue.value() & 0xFF);
            const usbsim::FunctionDescription& description = world.system.function().description();
            EXPECT_EQ(world.system.function().graph().currentNumber(usbsim::entityControl(
                          description, unit, usb::feature_control::mute, channel)),
                      std::optional<std::uint32_t>(static_cast<std::uint32_t>(wanted)));
            std::int32_t read = -1;
            ASSERT_EQ(ChannelProperty(world, ks::property_verb::get, ks::KSPROPERTY_AUDIO_MUTE,
                                      node, &read),
                      STATUS_SUCCESS);
            EXPECT_EQ(read, wanted);
            if (unit == device.headphoneUnit) headphonesReached = true;
        }
        EXPECT_TRUE(headphonesReached);
    }
}

} // namespace
