// The whole driver, from its entry point, on the simulated headsets in
// lockstep: a render pin's signal through the stream engine to the device,
// and the device's captured frames through the engine to a capture pin.
#include "driver/tests/entry/end_to_end_world.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/pcm_format.h"
#include "sim/os/wave_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace {

using e2e::DeviceCase;
using e2e::Devices;
using e2e::World;
using kernel::STATUS_SUCCESS;

// The device received silence, then the ramp from its first value on, frame
// after frame with nothing lost or repeated, in both channels.
void ExpectRampContiguous(const usbsim::Bytes& received) {
    const auto sample = [&received](std::size_t frame, int channel) {
        const std::size_t at = frame * 4 + channel * 2;
        return static_cast<std::int16_t>(received[at] | received[at + 1] << 8);
    };
    const std::size_t frames = received.size() / 4;
    std::size_t first = 0;
    while (first < frames && sample(first, 0) == 0) ++first;
    ASSERT_LT(first, frames) << "no signal reached the device";
    ASSERT_GT(frames - first, 4800u) << "less than 100 ms of signal";
    // The silent frame before the ramp's 1 is its 0: the ramp starts at 0.
    for (std::size_t frame = first; frame < frames; ++frame) {
        const auto expected = static_cast<std::int16_t>(frame - first + 1);
        ASSERT_EQ(sample(frame, 0), expected) << "frame " << frame;
        ASSERT_EQ(sample(frame, 1), expected) << "frame " << frame;
    }
}

// Closing the running pin sends requests from a system thread one after the
// other (stop, the port's status, the zero-bandwidth setting); each is served
// only while the test steps frames, so this also shows that stepping lets the
// closing thread catch up frame by frame. Each of the pin's notifications
// stands for one transfer the bus served.
TEST(EndToEnd, RampThroughRenderPinReachesDevice) {
    for (const DeviceCase& device : Devices) {
        SCOPED_TRACE(device.name);
        World world(device, device.renderFilter);
        ossim::WaveStream stream;
        const ks::DataFormatWaveFormatExtensible format = ossim::pcmFormat(48000, 16, 2);
        std::int16_t next = 0;
        const auto ramp = [&next](std::uint8_t* frames, std::uint32_t count) {
            for (std::uint32_t i = 0; i < count; ++i, ++next) {
                const std::int16_t sample[2] = {next, next};
                std::memcpy(frames + 4 * i, sample, 4);
            }
        };
        ASSERT_EQ(stream.open(world.filter, 0, &format.DataFormat, 1200, {ramp, {}}),
                  STATUS_SUCCESS);
        ASSERT_TRUE(world.run(stream));
        world.system.step(std::chrono::milliseconds(200));
        const usbsim::OutSink sink = world.system.bus().isochronous().sink(device.outEndpoint);
        EXPECT_EQ(sink.gaps(), 0u);
        ExpectRampContiguous(sink.stream());
        const std::uint64_t served =
            world.system.bus().isochronous().transfersServed(device.outEndpoint);
        EXPECT_GT(served, 0u);
        EXPECT_EQ(stream.serviceCount(), served);
        ASSERT_TRUE(world.close(stream));
    }
}

// The device's microphone frames carry their running count; the capture pin
// sees them in order with none lost or repeated, though every 64th packet
// comes empty and its frames follow in the next ones (a packet has room for
// one frame more than a full speed device's millisecond).
TEST(EndToEnd, CounterFromDeviceReachesCapturePinDespiteEmptyPackets) {
    for (const DeviceCase& device : Devices) {
        SCOPED_TRACE(device.name);
        World world(device, device.captureFilter);
        world.system.bus().isochronous().setEmptyInPackets(64);
        ossim::WaveStream stream;
        const std::uint16_t channels = device.captureChannels;
        const ks::DataFormatWaveFormatExtensible format =
            ossim::pcmFormat(48000, 16, channels, 16, device.captureChannelMask);
        std::vector<std::uint16_t> captured;
        const auto keep = [&captured, channels](const std::uint8_t* frames, std::uint32_t count) {
            for (std::uint32_t i = 0; i < count; ++i) {
                std::uint16_t sample = 0;
                std::memcpy(&sample, frames + 2u * channels * i, 2);
                captured.push_back(sample);
            }
        };
        ASSERT_EQ(stream.open(world.filter, 0, &format.DataFormat, 1200, {{}, keep}),
                  STATUS_SUCCESS);
        ASSERT_EQ(stream.direction(), ossim::PumpDirection::capture);
        ASSERT_TRUE(world.run(stream));
        world.system.step(std::chrono::milliseconds(300));
        EXPECT_EQ(world.system.bus().isochronous().framesLost(device.inEndpoint), 0u);
        const std::uint64_t served =
            world.system.bus().isochronous().transfersServed(device.inEndpoint);
        EXPECT_GT(served, 0u);
        EXPECT_EQ(stream.serviceCount(), served);
        ASSERT_TRUE(world.close(stream));
        // Silence may come before the first frame the device sent; from its
        // first counted frame on, the count goes up by one each frame. The
        // engine turns an empty packet into one packet of silence so that
        // positions keep moving: silence stays shorter than a millisecond and
        // a frame more, and the count goes on after it where it stopped.
        std::size_t first = 0;
        while (first < captured.size() && captured[first] == 0) ++first;
        ASSERT_GT(captured.size() - first, 4800u) << "less than 100 ms captured";
        std::uint16_t expected = captured[first];
        std::size_t silence = 0;
        for (std::size_t i = first; i < captured.size(); ++i) {
            if (captured[i] == 0) {
                ASSERT_LE(++silence, 49u) << "frame " << i;
                continue;
            }
            silence = 0;
            ASSERT_EQ(captured[i], expected) << "frame " << i;
            ++expected;
        }
    }
}

// The release 2 device carries 24-bit samples in 4-byte subslots only: a
// packed 24-bit record names no format it has, the same samples in 32-bit
// containers stream; so do its 32-bit samples, while 16 valid bits in a
// 32-bit container name no layout it carries.
TEST(EndToEnd, RenderPinTakesOnlyTheSampleLayoutsTheDeviceCarries) {
    struct LayoutCase {
        const char* name;
        std::uint16_t containerBits;
        std::uint16_t validBits;
        kernel::NTSTATUS status;
    };
    const LayoutCase cases[] = {
        {"16 bits", 16, 16, STATUS_SUCCESS},
        {"24 bits in 32-bit containers", 32, 24, STATUS_SUCCESS},
        {"packed 24 bits", 24, 24, kernel::STATUS_INVALID_PARAMETER},
        {"32 bits", 32, 32, STATUS_SUCCESS},
        {"16 bits in 32-bit containers", 32, 16, kernel::STATUS_INVALID_PARAMETER},
    };
    const DeviceCase& device = Devices[1];
    World world(device, device.renderFilter);
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ks::DataFormatWaveFormatExtensible format =
            ossim::pcmFormat(48000, c.containerBits, 2, c.validBits);
        portcls::PinHandle pin;
        EXPECT_EQ(pin.open(world.filter, 0, &format.DataFormat), c.status);
    }
}

} // namespace

namespace {

// An orderly removal while a render pin runs: the port steps the pin down,
// which waits for the transfers on the bus; the system's time goes on while
// the removal waits, so it completes, and the pin plays no more.
TEST(EndToEnd, AnOrderlyRemovalWhileARenderPinRunsCompletes) {
    for (const DeviceCase& device : Devices) {
        SCOPED_TRACE(device.name);
        ossim::SimulatedSystem system(device.describe());
        ASSERT_EQ(system.load(DriverEntry), STATUS_SUCCESS);
        ASSERT_EQ(system.plug(), STATUS_SUCCESS);
        portcls::FilterHandle filter;
        ASSERT_EQ(system.host().openFilter(system.device(), device.renderFilter, filter),
                  STATUS_SUCCESS);
        ossim::WaveStream stream;
        const ks::DataFormatWaveFormatExtensible format = ossim::pcmFormat(48000, 16, 2);
        const auto silence = [](std::uint8_t* frames, std::uint32_t count) {
            std::memset(frames, 0, count * 4);
        };
        ASSERT_EQ(stream.open(filter, 0, &format.DataFormat, 1200, {silence, {}}), STATUS_SUCCESS);
        for (ks::KsState state : {ks::KsState::Acquire, ks::KsState::Pause, ks::KsState::Run})
            ASSERT_EQ(ossim::callOnSystemThread(
                          system.clock(), [&stream, state] { return stream.setState(state); }),
                      STATUS_SUCCESS);
        system.step(std::chrono::milliseconds(50));
        ASSERT_GT(system.bus().isochronous().transfersServed(device.outEndpoint), 0u);
        EXPECT_EQ(system.remove(), STATUS_SUCCESS);
        EXPECT_EQ(system.host().stacks(), 0u);
        const std::uint64_t served = system.bus().isochronous().transfersServed(device.outEndpoint);
        system.step(std::chrono::milliseconds(20));
        EXPECT_EQ(system.bus().isochronous().transfersServed(device.outEndpoint), served);
        stream.close();
        filter.close();
    }
}

} // namespace

namespace {

// A format with the basic wave record: PCM by its tag.
ks::DataFormatWaveFormatEx BasicPcm(std::uint32_t rate, std::uint16_t bits,
                                    std::uint16_t channels) {
    ks::DataFormatWaveFormatEx format{};
    format.DataFormat = {ks::dataFormatWaveFormatExSize,
                         0,
                         0,
                         0,
                         ks::KSDATAFORMAT_TYPE_AUDIO,
                         ks::KSDATAFORMAT_SUBTYPE_PCM,
                         ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX};
    const auto block = static_cast<std::uint16_t>(channels * bits / 8);
    format.WaveFormatEx = {ks::format_tag::pcm, channels, rate, rate * block, block, bits, 0};
    return format;
}

// A basic wave format (not extensible) names the device's format of that
// shape: render and capture pins created with one run, the ramp reaches the
// device unbroken and the microphone's count comes back; a basic format of
// a shape the device lacks is refused when the pin is created.
TEST(EndToEnd, BasicWaveFormatsRunAsTheDevicesOwnFormats) {
    for (const DeviceCase& device : Devices) {
        for (const bool capture : {false, true}) {
            SCOPED_TRACE(testing::Message() << device.name << (capture ? ", capture" : ", render"));
            const std::uint16_t channels = capture ? device.captureChannels : 2;
            World world(device, capture ? device.captureFilter : device.renderFilter);
            {
                ossim::WaveStream refused;
                const ks::DataFormatWaveFormatEx lacking = BasicPcm(32000, 16, channels);
                EXPECT_EQ(refused.open(world.filter, 0, &lacking.DataFormat, 100, {}),
                          kernel::STATUS_INVALID_PARAMETER);
            }
            ossim::WaveStream stream;
            std::int16_t next = 0;
            const auto ramp = [&next](std::uint8_t* frames, std::uint32_t count) {
                for (std::uint32_t i = 0; i < count; ++i, ++next) {
                    const std::int16_t sample[2] = {next, next};
                    std::memcpy(frames + 4 * i, sample, 4);
                }
            };
            std::vector<std::uint16_t> captured;
            const auto keep = [&captured, channels](const std::uint8_t* frames,
                                                    std::uint32_t count) {
                for (std::uint32_t i = 0; i < count; ++i) {
                    std::uint16_t sample = 0;
                    std::memcpy(&sample, frames + 2u * channels * i, 2);
                    captured.push_back(sample);
                }
            };
            const ks::DataFormatWaveFormatEx format = BasicPcm(48000, 16, channels);
            ASSERT_EQ(stream.open(world.filter, 0, &format.DataFormat, 1200, {ramp, keep}),
                      STATUS_SUCCESS);
            ASSERT_TRUE(world.run(stream));
            world.system.step(std::chrono::milliseconds(200));
            EXPECT_GT(stream.serviceCount(), 0u);
            ASSERT_TRUE(world.close(stream));
            if (!capture) {
                ExpectRampContiguous(
                    world.system.bus().isochronous().sink(device.outEndpoint).stream());
                continue;
            }
            std::size_t first = 0;
            while (first < captured.size() && captured[first] == 0) ++first;
            ASSERT_GT(captured.size() - first, 4800u) << "less than 100 ms captured";
            for (std::size_t i = first + 1; i < first + 4800; ++i)
                ASSERT_EQ(captured[i], static_cast<std::uint16_t>(captured[i - 1] + 1)) << i;
        }
    }
}

} // namespace
