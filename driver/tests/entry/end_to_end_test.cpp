// The whole driver, from its entry point, on the simulated headsets in
// lockstep: a render pin's signal through the stream engine to the device.
#include "driver/adapter/driver_entry.h"
#include "platform/ks/state.h"
#include "platform/ks/wave_format.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/simulated_system.h"
#include "sim/os/system_call.h"
#include "sim/os/wave_stream.h"
#include "sim/usb/fixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>

namespace {

using kernel::STATUS_SUCCESS;

usbsim::FunctionDescription NamedHeadset() {
    usbsim::FunctionDescription description = usbsim::fixtures::uac1Headset();
    description.strings.push_back({.index = 0x50, .text = u"USB Headset FW"});
    return description;
}

// The record an audio engine opens a pin with: extensible, PCM, the
// channels in the front positions.
ks::DataFormatWaveFormatExtensible PcmFormat(std::uint32_t rate, std::uint16_t bits,
                                             std::uint16_t channels) {
    ks::DataFormatWaveFormatExtensible format{};
    const auto block = static_cast<std::uint16_t>(channels * bits / 8);
    format.DataFormat = {sizeof(ks::DataFormatWaveFormatExtensible),
                         0,
                         0,
                         0,
                         ks::KSDATAFORMAT_TYPE_AUDIO,
                         ks::KSDATAFORMAT_SUBTYPE_PCM,
                         ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX};
    format.WaveFormatExt.Format = {
        ks::format_tag::extensible, channels, rate, rate * block, block, bits, 22};
    format.WaveFormatExt.wValidBitsPerSample = bits;
    format.WaveFormatExt.dwChannelMask = (1u << channels) - 1;
    format.WaveFormatExt.SubFormat = ks::KSDATAFORMAT_SUBTYPE_PCM;
    return format;
}

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
// closing thread catch up frame by frame.
TEST(EndToEnd, RampThroughRenderPinReachesDevice) {
    ossim::SimulatedSystem system(NamedHeadset());
    ASSERT_EQ(system.load(DriverEntry), STATUS_SUCCESS);
    ASSERT_EQ(system.plug(), STATUS_SUCCESS);
    portcls::FilterHandle filter;
    ASSERT_EQ(system.host().openFilter(system.device(), u"HPOut00Wave", filter), STATUS_SUCCESS);
    ossim::WaveStream stream;
    const ks::DataFormatWaveFormatExtensible format = PcmFormat(48000, 16, 2);
    std::int16_t next = 0;
    const auto ramp = [&next](std::uint8_t* frames, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i, ++next) {
            const std::int16_t sample[2] = {next, next};
            std::memcpy(frames + 4 * i, sample, 4);
        }
    };
    ASSERT_EQ(stream.open(filter, 0, &format.DataFormat, 1200, {ramp, {}}), STATUS_SUCCESS);
    for (ks::KsState state : {ks::KsState::Acquire, ks::KsState::Pause, ks::KsState::Run})
        ASSERT_EQ(ossim::callOnSystemThread(system.clock(),
                                            [&stream, state] { return stream.setState(state); }),
                  STATUS_SUCCESS)
            << int(state);
    system.step(std::chrono::milliseconds(200));
    const usbsim::OutSink sink = system.bus().isochronous().sink(0x01);
    EXPECT_EQ(sink.gaps(), 0u);
    ExpectRampContiguous(sink.stream());
    // Leaving RUN waits for the transfers on the bus, so it runs on a system
    // thread while time moves on.
    std::atomic<bool> closed{false};
    ossim::callOnSystemThread(system.clock(), [&stream, &closed] {
        stream.close();
        closed = true;
        return STATUS_SUCCESS;
    });
    for (int frame = 0; frame < 1000 && !closed; ++frame) system.step(std::chrono::milliseconds(1));
    ASSERT_TRUE(closed) << "the pin did not stop within a second";
    filter.close();
    EXPECT_EQ(system.remove(), STATUS_SUCCESS);
}

} // namespace
