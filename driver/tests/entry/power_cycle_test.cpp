// The whole driver through a power cycle with its pins paused, on the
// simulated headsets in lockstep: a render pin plays a ramp and a capture pin
// records the device's frame count; both pause, the device goes to D3, where
// it forgets its settings and a control changes on it, then comes back to
// D0, and both pins run again. The driver sends the device the controls it
// holds, and both streams go on where they stopped.
#include "driver/tests/entry/end_to_end_world.h"
#include "platform/ks/audio_properties.h"
#include "platform/ks/identifier.h"
#include "platform/ks/topology_ids.h"
#include "platform/usb/audio_requests.h"
#include "platform/usb/setup_packet.h"
#include "sim/os/pcm_format.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <vector>

namespace {

using e2e::DeviceCase;
using e2e::Devices;
using e2e::World;
using io::DevicePowerState;
using kernel::STATUS_SUCCESS;
using namespace std::chrono_literals;

constexpr std::uint32_t FrameBytes = 4; // 16-bit stereo on the render pin
// Zero frames the device gets before the ramp's first value: the transfers
// in flight, which the stream starts that far behind its buffer's start
// (5 ms each, 3 of them, at 48 frames a millisecond), and the limiter's
// look-ahead.
constexpr std::size_t LeadFrames = 5 * 3 * 48;
constexpr std::size_t LimiterFrames = 256;

// Every value sent with a SET request to a control, by the control's address.
using HeldControls = std::map<usbsim::ControlAddress, usbsim::Bytes>;

HeldControls SetsIn(const std::vector<usbsim::LoggedRequest>& log) {
    HeldControls sets;
    for (const usbsim::LoggedRequest& logged : log)
        if (usb::directionOf(logged.setup) == usb::Direction::out &&
            usb::typeOf(logged.setup) == usb::RequestType::classSpecific &&
            logged.setup.bRequest == usb::uac1::request::setCur && !logged.reply.stalled)
            sets[{usb::recipientOf(logged.setup),
                  static_cast<std::uint16_t>(logged.setup.wIndex.value()),
                  static_cast<std::uint16_t>(logged.setup.wValue.value())}] = logged.data;
    return sets;
}

// The running pins of one device: a render pin with a ramp, a capture pin
// with the device's count, and the topology filter the controls are set on.
class PowerCycleWorld {
public:
    explicit PowerCycleWorld(const DeviceCase& device)
        : device_(device), world_(device, device.renderFilter) {
        system().bus().setLosesSettingsInLowPower(true);
        EXPECT_EQ(system().host().openFilter(system().device(), device.captureFilter, capture_),
                  STATUS_SUCCESS);
        EXPECT_EQ(system().host().openFilter(system().device(), u"GlobalTopo", topology_),
                  STATUS_SUCCESS);
    }
    ~PowerCycleWorld() {
        EXPECT_TRUE(world_.close(renderStream_));
        EXPECT_TRUE(world_.close(captureStream_));
        topology_.close();
        capture_.close();
    }

    ossim::SimulatedSystem& system() { return world_.system; }

    ::testing::AssertionResult open() {
        const ks::DataFormatWaveFormatExtensible render = ossim::pcmFormat(48000, 16, 2);
        const auto ramp = [this](std::uint8_t* frames, std::uint32_t count) {
            for (std::uint32_t i = 0; i < count; ++i, ++next_) {
                const std::int16_t sample[2] = {next_, next_};
                std::memcpy(frames + FrameBytes * i, sample, FrameBytes);
            }
        };
        if (renderStream_.open(world_.filter, 0, &render.DataFormat, 1200, {ramp, {}}) !=
            STATUS_SUCCESS)
            return ::testing::AssertionFailure() << "the render pin did not open";
        const std::uint16_t channels = device_.captureChannels;
        const ks::DataFormatWaveFormatExtensible format =
            ossim::pcmFormat(48000, 16, channels, 16, device_.captureChannelMask);
        const auto keep = [this, channels](const std::uint8_t* frames, std::uint32_t count) {
            for (std::uint32_t i = 0; i < count; ++i) {
                std::uint16_t sample = 0;
                std::memcpy(&sample, frames + 2u * channels * i, 2);
                captured.push_back(sample);
            }
        };
        if (captureStream_.open(capture_, 0, &format.DataFormat, 1200, {{}, keep}) !=
            STATUS_SUCCESS)
            return ::testing::AssertionFailure() << "the capture pin did not open";
        if (::testing::AssertionResult up = world_.run(renderStream_); !up) return up;
        return world_.run(captureStream_);
    }

    // Both pins one state on, each on a system thread while frames pass:
    // leaving RUN waits for the transfers on the bus.
    ::testing::AssertionResult setState(ks::KsState state) {
        for (ossim::WaveStream* stream : {&renderStream_, &captureStream_}) {
            const kernel::NTSTATUS status = ossim::callOnSystemThread(
                system().clock(), [stream, state] { return stream->setState(state); },
                [this] { system().step(1ms); }, 1000);
            if (status != STATUS_SUCCESS)
                return ::testing::AssertionFailure()
                       << "state " << int(state) << " refused: " << std::hex << status;
        }
        return ::testing::AssertionSuccess();
    }

    // A channel property of every node of the type, each set to the value.
    void setNodes(const kernel::Guid& type, std::uint32_t id, std::int32_t value) {
        const portcls::FilterDescriptor* descriptor = topology_.descriptor();
        ASSERT_NE(descriptor, nullptr);
        for (std::uint32_t node = 0; node < descriptor->NodeCount; ++node) {
            if (descriptor->Nodes[node].Type == nullptr || *descriptor->Nodes[node].Type != type)
                continue;
            EXPECT_EQ(system().call([this, id, node, value] {
                std::uint32_t channel = 0;
                std::int32_t wanted = value;
                std::uint32_t bytes = 0;
                return topology_.property({ks::KSPROPSETID_Audio, id, ks::property_verb::set}, node,
                                          &channel, sizeof(channel), &wanted, sizeof(wanted),
                                          &bytes);
            }),
                      STATUS_SUCCESS)
                << "node " << node;
        }
    }

    // The device's own SET_CUR of a control.
    void deviceSets(const usbsim::ControlAddress& control, const usbsim::Bytes& value) {
        const usb::SetupPacket setup =
            usb::makeSetupPacket(usb::Direction::out, usb::RequestType::classSpecific,
                                 control.recipient, usb::uac1::request::setCur, control.value,
                                 control.index, static_cast<std::uint16_t>(value.size()));
        ASSERT_FALSE(system().function().control(setup, value).stalled);
    }

    std::vector<std::uint16_t> captured;

private:
    const DeviceCase& device_;
    World world_;
    portcls::FilterHandle capture_;
    portcls::FilterHandle topology_;
    ossim::WaveStream renderStream_;
    ossim::WaveStream captureStream_;
    std::int16_t next_ = 0;
};

std::int16_t SampleAt(const usbsim::Bytes& stream, std::size_t frame, int channel) {
    const std::size_t at = frame * FrameBytes + channel * 2;
    return static_cast<std::int16_t>(stream[at] | stream[at + 1] << 8);
}

// The frame count from the device in the capture pin's data: runs that each
// start at the device's first frame of a stream (0, which reads as silence)
// and count up by one frame after frame. The last count of each run, or
// nothing when a frame breaks the count.
std::vector<std::uint16_t> CountedRuns(const std::vector<std::uint16_t>& captured) {
    std::vector<std::uint16_t> ends;
    std::uint16_t expected = 1;
    for (std::size_t i = 0; i < captured.size(); ++i) {
        if (captured[i] == 0) continue;
        if (captured[i] == 1 && expected != 1)
            ends.push_back(static_cast<std::uint16_t>(expected - 1));
        else if (captured[i] != expected) {
            ADD_FAILURE() << "frame " << i << " holds " << captured[i] << ", not " << expected;
            return {};
        }
        expected = static_cast<std::uint16_t>(captured[i] + 1);
    }
    if (expected != 1) ends.push_back(static_cast<std::uint16_t>(expected - 1));
    return ends;
}

TEST(PowerCycle, PausedPinsResumeContiguousAndTheDeviceGetsItsControlsBackAfterD3) {
    for (const DeviceCase& device : Devices) {
        SCOPED_TRACE(device.name);
        PowerCycleWorld world(device);
        ossim::SimulatedSystem& system = world.system();
        // Controls the driver holds, set through the topology filter.
        system.function().clearLog();
        world.setNodes(ks::KSNODETYPE_MUTE, ks::KSPROPERTY_AUDIO_MUTE, 1);
        world.setNodes(ks::KSNODETYPE_VOLUME, ks::KSPROPERTY_AUDIO_VOLUMELEVEL, -10 * 65536);
        const HeldControls held = SetsIn(system.function().log());
        ASSERT_FALSE(held.empty());

        ASSERT_TRUE(world.open());
        system.step(200ms);
        ASSERT_TRUE(world.setState(ks::KsState::Pause));
        const usbsim::OutSink beforeSink = system.bus().isochronous().sink(device.outEndpoint);
        const std::uint64_t sentBefore = system.bus().isochronous().framesSent(device.inEndpoint);

        ASSERT_EQ(system.host().setDevicePower(system.device(), DevicePowerState::D3),
                  STATUS_SUCCESS);
        EXPECT_EQ(system.bus().devicePower(), DevicePowerState::D3);
        // The device forgot every control (each reads as a device fresh from
        // its description does), then turned its headphones down to -15 dB.
        const usbsim::ControlGraph initial(system.function().description());
        for (const auto& [control, value] : held)
            EXPECT_EQ(*system.function().graph().current(control), *initial.current(control));
        const usbsim::ControlAddress headphones = usbsim::entityControl(
            system.function().description(), device.headphoneUnit, usb::feature_control::volume, 1);
        ASSERT_EQ(held.count(headphones), 1u);
        world.deviceSets(headphones, {0x00, 0xF1});
        EXPECT_NE(*system.function().graph().current(headphones), held.at(headphones));
        system.step(100ms);

        system.function().clearLog();
        ASSERT_EQ(system.host().setDevicePower(system.device(), DevicePowerState::D0),
                  STATUS_SUCCESS);
        EXPECT_EQ(system.bus().devicePower(), DevicePowerState::D0);
        const HeldControls sent = SetsIn(system.function().log());
        for (const auto& [control, value] : held) {
            SCOPED_TRACE(::testing::Message()
                         << "control " << std::hex << control.index << " " << control.value);
            EXPECT_EQ(sent.count(control), 1u);
            EXPECT_EQ(*system.function().graph().current(control), value);
        }

        ASSERT_TRUE(world.setState(ks::KsState::Run));
        system.step(200ms);

        // Render: the limiter's look-ahead and the transfers in flight as
        // silence, then the ramp to its end with nothing lost or repeated
        // where the pause cut it; the device got no packet while paused.
        const usbsim::OutSink sink = system.bus().isochronous().sink(device.outEndpoint);
        EXPECT_EQ(sink.gaps(), 0u);
        const usbsim::Bytes& stream = sink.stream();
        const std::size_t frames = stream.size() / FrameBytes;
        ASSERT_GT(frames, beforeSink.stream().size() / FrameBytes + 4800);
        const std::size_t silence = LeadFrames + LimiterFrames + 1; // and the ramp's 0
        for (std::size_t frame = 0; frame < frames; ++frame) {
            const auto expected =
                static_cast<std::int16_t>(frame < silence ? 0 : frame - silence + 1);
            ASSERT_EQ(SampleAt(stream, frame, 0), expected) << "frame " << frame;
            ASSERT_EQ(SampleAt(stream, frame, 1), expected) << "frame " << frame;
        }
        const std::vector<usbsim::SinkPacket>& packets = sink.packets();
        const std::size_t resumed = beforeSink.packets().size();
        ASSERT_GT(packets.size(), resumed);
        EXPECT_GE(packets[resumed].frame(), packets[resumed - 1].frame() + 100);

        // Capture: every frame of the device's first stream, up to its last
        // one before the pause, then its stream after the pause from its
        // start, counted on.
        const std::vector<std::uint16_t> runs = CountedRuns(world.captured);
        ASSERT_EQ(runs.size(), 2u);
        EXPECT_EQ(runs[0], static_cast<std::uint16_t>(sentBefore - 1));
        EXPECT_GT(runs[1], 4800u);
        EXPECT_EQ(system.bus().isochronous().framesLost(device.inEndpoint), 0u);
    }
}

} // namespace
