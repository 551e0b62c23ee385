// The whole driver on N3W8 headsets in lockstep: a render pin's channels
// reach the device with the chip's back and side pairs exchanged where the
// chip needs it, and every format the pin runs tells the chip its rate and
// sample kind through register 0.
#include "driver/tests/entry/end_to_end_world.h"
#include "sim/os/pcm_format.h"
#include "sim/os/wave_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using e2e::DeviceCase;
using e2e::World;
using kernel::STATUS_SUCCESS;
namespace fixtures = usbsim::fixtures;

// A chip other than the one the known products check for: all its channel
// layouts stay, and its render streams get the swap.
usbsim::FunctionDescription OtherN3W8Headset() {
    auto chip = std::make_shared<fixtures::N3W8Chip>();
    chip->identificationA = 0x00;
    usbsim::FunctionDescription description = fixtures::n3w8Device(chip);
    description.vendorId = 0x1234;
    description.productId = 0x0001;
    return description;
}

// The product whose chip already plays the host's channel order.
usbsim::FunctionDescription UnswappedN3W8Headset() {
    usbsim::FunctionDescription description = OtherN3W8Headset();
    description.vendorId = 0x28DA;
    description.productId = 0x268E;
    return description;
}

DeviceCase N3W8Case(const char* name, usbsim::FunctionDescription (*describe)()) {
    return {name, describe, u"SPKOut00Wave", u"RecIn00Wave", 0x01, 0x82, 2, 0x3, false, 13};
}

// Channel c of every frame the pin plays carries (c + 1) * 1000.
constexpr std::int16_t Level(std::uint16_t channel) {
    return static_cast<std::int16_t>((channel + 1) * 1000);
}

struct Played {
    // The device's frames from the first with signal on.
    std::vector<std::vector<std::int16_t>> frames;
};

// Runs a 16-bit pin of the channels at the rate for the time and returns
// what reached the device meanwhile.
Played Play(World& world, std::uint16_t channels, std::uint32_t rate,
            kernel::Duration time = std::chrono::milliseconds(100)) {
    Played played;
    const std::size_t before = world.system.bus().isochronous().sink(0x01).stream().size();
    ossim::WaveStream stream;
    // Eight channels as the chip lays them out: 7.1 with side speakers.
    const ks::DataFormatWaveFormatExtensible format =
        ossim::pcmFormat(rate, 16, channels, 16, channels == 8 ? 0x063F : 0x3);
    const auto levels = [channels](std::uint8_t* frames, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i)
            for (std::uint16_t c = 0; c < channels; ++c) {
                const std::int16_t sample = Level(c);
                std::memcpy(frames + (i * channels + c) * 2, &sample, 2);
            }
    };
    EXPECT_EQ(stream.open(world.filter, 0, &format.DataFormat, 1200, {levels, {}}), STATUS_SUCCESS);
    if (!world.run(stream)) {
        ADD_FAILURE() << "the pin did not run";
        return played;
    }
    world.system.step(time);
    EXPECT_TRUE(world.close(stream));
    const usbsim::OutSink sink = world.system.bus().isochronous().sink(0x01);
    const usbsim::Bytes& received = sink.stream();
    const std::size_t frameBytes = 2u * channels;
    for (std::size_t at = before; at + frameBytes <= received.size(); at += frameBytes) {
        std::vector<std::int16_t> frame(channels);
        std::memcpy(frame.data(), received.data() + at, frameBytes);
        if (frame[0] != 0 || !played.frames.empty()) played.frames.push_back(std::move(frame));
    }
    return played;
}

// Which of the pin's channels each device channel carries, by its level
// against channel 0's (so a gain the same on all channels does not matter);
// the same for every frame with signal.
std::vector<int> CarriedChannels(const Played& played) {
    std::vector<int> carried;
    for (const std::vector<std::int16_t>& frame : played.frames) {
        if (frame[0] == 0) return {-1};
        std::vector<int> these;
        for (const std::int16_t sample : frame)
            these.push_back(static_cast<int>(std::lround(double(sample) / frame[0])) - 1);
        if (carried.empty()) carried = these;
        if (these != carried) return {-1};
    }
    return carried;
}

TEST(N3W8Streaming, EightChannelsReachTheDeviceWithBackAndSidePairsWhereTheChipWantsThem) {
    const struct {
        DeviceCase device;
        std::uint16_t channels;
        std::vector<int> carried;
    } cases[] = {
        {N3W8Case("8 channels, swapped", OtherN3W8Headset), 8, {0, 1, 2, 3, 6, 7, 4, 5}},
        {N3W8Case("2 channels", OtherN3W8Headset), 2, {0, 1}},
        {N3W8Case("8 channels, the unswapped product", UnswappedN3W8Headset),
         8,
         {0, 1, 2, 3, 4, 5, 6, 7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device.name);
        World world(c.device, c.device.renderFilter);
        const Played played = Play(world, c.channels, 48000);
        ASSERT_GT(played.frames.size(), 48u * 50) << "less than 50 ms of signal";
        EXPECT_EQ(CarriedChannels(played), c.carried);
        EXPECT_EQ(world.system.bus().isochronous().sink(0x01).gaps(), 0u);
    }
}

// Register 0 writes as the log shows them: 4-byte reports 0x20, value low,
// value high, register index.
std::vector<std::uint16_t> Register0Writes(const usbsim::UsbFunction& function, std::size_t from) {
    std::vector<std::uint16_t> values;
    for (std::size_t i = from; i < function.log().size(); ++i) {
        const usbsim::LoggedRequest& request = function.log()[i];
        if (request.setup.bmRequestType == 0x21 && request.setup.bRequest == 0x09 &&
            request.setup.wValue.value() == 0x0200 && request.data.size() == 4 &&
            request.data[3] == 0)
            values.push_back(static_cast<std::uint16_t>(request.data[1] | request.data[2] << 8));
    }
    return values;
}

// Each format a pin runs writes the rate field (bits 12-14), then the
// bit-stream bit (bit 1, clear for PCM), each merged into what the chip
// holds (0x2004 after the start).
TEST(N3W8Streaming, EachRunningFormatWritesTheChipsRateAndSampleKind) {
    const DeviceCase device = N3W8Case("8 channels, swapped", OtherN3W8Headset);
    World world(device, device.renderFilter);
    const struct {
        std::uint32_t rate;
        std::uint16_t channels;
        std::vector<std::uint16_t> writes;
    } formats[] = {
        {44100, 2, {0x0004, 0x0004}},
        {48000, 8, {0x2004, 0x2004}},
        {44100, 8, {0x0004, 0x0004}},
    };
    for (const auto& f : formats) {
        SCOPED_TRACE(testing::Message() << f.rate << " Hz, " << f.channels << " channels");
        const std::size_t from = world.system.function().log().size();
        const Played played = Play(world, f.channels, f.rate);
        EXPECT_FALSE(played.frames.empty());
        EXPECT_EQ(Register0Writes(world.system.function(), from), f.writes);
    }
}

// The headset whose chip the model polls, bit 4 of its input report clear
// in every report. A period after the start the stream drops by
// 12 dB; once thirty reports agreed, it is silenced. The poll runs on the
// system's clock with the stream, and the removal stops it.
usbsim::FunctionDescription PolledN3W8Headset() {
    auto chip = std::make_shared<fixtures::N3W8Chip>();
    chip->inputReport = {0x00, 0x00, 0x00};
    return fixtures::n3w8Device(chip);
}

TEST(N3W8Streaming, ThePollOfTheChipAttenuatesThenSilencesTheStream) {
    const DeviceCase device = N3W8Case("polled headset", PolledN3W8Headset);
    World world(device, device.renderFilter);
    const Played played = Play(world, 2, 48000, std::chrono::seconds(2));
    // Runs of equal frames, as "level x frames".
    std::vector<std::pair<std::int16_t, std::size_t>> runs;
    for (const std::vector<std::int16_t>& frame : played.frames) {
        ASSERT_EQ(frame[1], 2 * frame[0]) << "both channels alike";
        if (runs.empty() || runs.back().first != frame[0]) runs.push_back({frame[0], 0});
        ++runs.back().second;
    }
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].first, Level(0));
    EXPECT_EQ(runs[1].first, Level(0) / 4);
    EXPECT_EQ(runs[2].first, 0);
    // Full level for less than a period, a quarter until the thirtieth report.
    EXPECT_LE(runs[0].second, 48u * 50);
    EXPECT_GE(runs[1].second, 48u * 1350);
    EXPECT_LE(runs[1].second, 48u * 1400);
    EXPECT_GT(runs[2].second, 48u * 400);
}

} // namespace
