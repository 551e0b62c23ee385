// One table over device, road (the first render wave pin, or the ASIO
// rings) and every format that road takes on the device, in lockstep: the
// WAV file's header is the device's stream, the sine reaches the device at
// its level, the ramp bit for bit, the microphone's count comes without a
// gap and the frames are the device's. Beside it, what ASIO takes on each
// device as the driver answers, and the runs it refuses before they start.
#include "platform/io/registry.h"
#include "testkit/temp_folder.h"
#include "tools/driver-host/host_formats.h"
#include "tools/driver-host/host_list.h"
#include "tools/driver-host/host_run.h"
#include "tools/driver-host/pcm_sample.h"
#include "tools/driver-host/signal_source.h"
#include "tools/driver-host/tests/wav_reading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

namespace {

using driverhost::Options;
using driverhost::PinFormat;
using driverhost::RunResult;
using driverhost::testing::WavRead;

constexpr double Seconds = 0.2;
// The sine's RMS level at -6.02 dBFS peak.
const double SineLevelDb = 20 * std::log10(0.5 / std::sqrt(2.0));

struct RoadCase {
    const char* device;
    bool asio;
    PinFormat format;             // what the client plays
    std::uint16_t deviceChannels; // what the device's stream carries
    bool direct;                  // the channels reach the device unchanged
};

std::ostream& operator<<(std::ostream& out, const RoadCase& c) {
    return out << c.device << (c.asio ? " ASIO " : " wave ") << driverhost::FormatName(c.format);
}

struct Layout {
    std::uint16_t channels;
    std::uint16_t bits;
    std::uint16_t container;
};

const std::vector<std::uint32_t> Rates1 = {44100, 48000};
const std::vector<std::uint32_t> Rates2 = {44100, 48000, 88200, 96000, 176400, 192000};

void Add(std::vector<RoadCase>& cases, const char* device, bool asio,
         const std::vector<std::uint32_t>& rates, const std::vector<Layout>& layouts,
         std::uint16_t deviceChannels = 0, bool direct = true) {
    for (const Layout& layout : layouts)
        for (const std::uint32_t rate : rates)
            cases.push_back({device,
                             asio,
                             {rate, layout.channels, layout.bits, layout.container, 0},
                             deviceChannels != 0 ? deviceChannels : layout.channels,
                             direct});
}

// What `--list` names for each road of each device.
std::vector<RoadCase> Cases() {
    std::vector<RoadCase> cases;
    Add(cases, "uac1", false, Rates1, {{2, 16, 16}, {2, 24, 24}});
    Add(cases, "uac1-asio", false, Rates1, {{2, 16, 16}});
    Add(cases, "uac1-asio", true, {48000}, {{2, 16, 16}});
    for (const char* device : {"uac2", "uac2-asio"})
        Add(cases, device, false, Rates2, {{2, 16, 16}, {2, 24, 32}, {2, 32, 32}});
    Add(cases, "uac2-asio", true, Rates2, {{2, 16, 16}, {2, 24, 32}, {2, 32, 32}});
    // N3W8's DSP nodes scale playback; T6L1 and Q7K2 fold 7.1 into stereo.
    Add(cases, "n3w8", false, Rates1, {{2, 16, 16}, {6, 16, 16}}, 0, false);
    Add(cases, "k7d2", false, Rates1, {{2, 16, 16}});
    Add(cases, "p9f4", false, Rates1, {{2, 16, 16}});
    Add(cases, "t6l1", false, Rates1, {{8, 16, 16}}, 2, false);
    Add(cases, "q7k2", false, Rates1, {{8, 16, 16}}, 2, false);
    return cases;
}

Options RoadOptions(const RoadCase& c, driverhost::Signal signal,
                    const testkit::TempFolder& folder) {
    Options options;
    options.device = c.device;
    options.asio = c.asio;
    options.rate = c.format.rate;
    options.channels = c.format.channels;
    options.bits = c.format.bits;
    options.container = c.format.container;
    options.seconds = Seconds;
    options.lockstep = true;
    options.signal = signal;
    options.out = (folder.path() / "out.wav").string();
    if (signal == driverhost::Signal::ramp)
        options.captureOut = (folder.path() / "capture.wav").string();
    return options;
}

// The RMS level in dB of full scale of channel 0 from frame `first` on,
// over whole periods of the 1 kHz tone.
double LevelDb(const WavRead& wav, std::size_t first) {
    const std::uint32_t bytes = wav.bitsPerSample / 8u;
    const std::size_t period = wav.rate / 100;
    const std::size_t count = wav.frames() > first ? (wav.frames() - first) / period * period : 0;
    double sum = 0;
    for (std::size_t f = first; f < first + count; ++f) {
        const double s = driverhost::SampleFraction(wav.data.data() + f * wav.blockAlign, bytes);
        sum += s * s;
    }
    return count == 0 ? -999 : 10 * std::log10(sum / static_cast<double>(count));
}

// The header a reader needs for the device's stream.
void ExpectDeviceHeader(const WavRead& wav, const RoadCase& c) {
    const usbsim::FunctionDescription description =
        driverhost::FindDeviceModel(c.device)->describe();
    EXPECT_EQ(wav.rate, c.format.rate);
    EXPECT_EQ(wav.channels, c.deviceChannels);
    EXPECT_EQ(wav.bitsPerSample, c.format.container);
    EXPECT_EQ(wav.blockAlign, c.deviceChannels * c.format.container / 8u);
    const bool extensible = c.deviceChannels > 2 || c.format.bits < c.format.container;
    EXPECT_EQ(wav.tag, extensible ? 0xFFFE : 1);
    if (extensible) {
        EXPECT_EQ(wav.validBits, c.format.bits);
        EXPECT_EQ(wav.channelMask,
                  driverhost::ClientChannelMask(description, false, c.deviceChannels));
    }
}

// One run of the case with the signal: what every run must show, the
// header, the frames and the delay it leaves for the test to read.
class EveryRoad : public ::testing::TestWithParam<RoadCase> {
protected:
    void Play(driverhost::Signal signal) {
        const RoadCase& c = GetParam();
        options = RoadOptions(c, signal, folder);
        result = driverhost::runDriverHost(options);
        ASSERT_EQ(result.status, kernel::STATUS_SUCCESS) << result.failure;
        EXPECT_EQ(result.poolBlocksLeft, 0u);
        EXPECT_EQ(result.underruns, 0u);
        EXPECT_EQ(result.asioRingUnderruns, 0u);
        ASSERT_TRUE(result.renderFormat);
        EXPECT_EQ(result.renderFormat->bits, c.format.bits);
        EXPECT_EQ(result.renderFormat->container, c.format.container);
        wav = driverhost::testing::ReadWav(options.out);
        ASSERT_TRUE(wav);
        ExpectDeviceHeader(*wav, c);
        EXPECT_EQ(result.deviceFormat.channels, wav->channels);
        EXPECT_EQ(result.deviceFormat.bytesPerSample * 8u, wav->bitsPerSample);
        EXPECT_EQ(wav->frames(), result.frames);
        EXPECT_NEAR(static_cast<double>(result.frames), Seconds * c.format.rate,
                    0.05 * c.format.rate);
        ASSERT_GE(result.delayFrames, 0);
    }

    const io::Registry registry;
    const testkit::TempFolder folder;
    Options options;
    RunResult result;
    std::optional<WavRead> wav;
};

// The sine: the header is the device's stream, its frames the device's
// count, about the run's length, and the tone at -6.02 dBFS peak within
// 0.1 dB where the channels reach the device unchanged (N3W8's nodes scale
// it, T6L1 and Q7K2 fold eight channels into two).
TEST_P(EveryRoad, TheSineReachesTheDeviceAtItsLevel) {
    const RoadCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Play(driverhost::Signal::sine));
    const double level = LevelDb(*wav, static_cast<std::size_t>(result.delayFrames));
    if (c.direct)
        EXPECT_NEAR(level, SineLevelDb, 0.1);
    else
        EXPECT_GT(level, -40.0); // scaled or folded, but there
    std::printf("level %-10s %-5s %-32s %7.3f dB RMS, %7.3f dBFS peak\n", c.device,
                c.asio ? "ASIO" : "wave", driverhost::FormatName(c.format).c_str(), level,
                level + 3.0103);
}

// The ramp: the device's stream is the ramp played, bit for bit, from the
// delay on, silence before it; the microphone's count reaches the capture
// file without a gap.
TEST_P(EveryRoad, TheRampArrivesBitExactAndTheCountWithoutAGap) {
    const RoadCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Play(driverhost::Signal::ramp));
    const auto delay = static_cast<std::size_t>(result.delayFrames);
    if (c.direct) {
        const std::size_t frames = wav->frames() - delay;
        ASSERT_GT(frames, Seconds * c.format.rate / 2);
        std::vector<std::uint8_t> expected(frames * wav->blockAlign);
        driverhost::SignalSource(options).fill(expected.data(), static_cast<std::uint32_t>(frames));
        const std::size_t start = delay * wav->blockAlign;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), wav->data.begin() + start));
        EXPECT_TRUE(std::all_of(wav->data.begin(), wav->data.begin() + start,
                                [](std::uint8_t b) { return b == 0; }));
    }
    const std::optional<WavRead> capture = driverhost::testing::ReadWav(options.captureOut);
    ASSERT_TRUE(capture);
    EXPECT_EQ(capture->frames(), result.capturedFrames);
    ASSERT_GT(result.capturedFrames, Seconds * c.format.rate / 2);
    const std::uint32_t bytes = capture->bitsPerSample / 8u;
    EXPECT_EQ(capture->tag, capture->channels > 2 || (capture->validBits != 0 &&
                                                      capture->validBits < capture->bitsPerSample)
                                ? 0xFFFE
                                : 1);
    const auto count = [&](std::size_t frame, std::uint32_t channel) {
        return driverhost::testing::LittleEndian(
            capture->data, (frame * capture->channels + channel) * bytes, static_cast<int>(bytes));
    };
    const std::uint64_t mask = (std::uint64_t{1} << capture->bitsPerSample) - 1;
    for (std::size_t f = 1; f < capture->frames(); ++f)
        for (std::uint32_t ch = 0; ch < capture->channels; ++ch)
            ASSERT_EQ((count(f, ch) - count(f - 1, ch)) & mask, 1u)
                << "frame " << f << ", channel " << ch;
}

INSTANTIATE_TEST_SUITE_P(HostRoads, EveryRoad, ::testing::ValuesIn(Cases()));

// What ASIO takes on each device that serves it, as --list prints it.
TEST(HostAsio, TheListNamesWhatAsioTakes) {
    const struct {
        const char* device;
        const char* asio;
    } cases[] = {
        {"uac1-asio", "channels: 2 out, 1 in\nsample types: 16 (16 bits)\nrates: 48000 Hz\n"},
        {"uac2-asio", "channels: 2 out, 1 in\n"
                      "sample types: 16 (16 bits), 27 (24 bits in 32), 18 (32 bits)\n"
                      "rates: 44100, 48000, 88200, 96000, 176400, 192000 Hz\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        const driverhost::DeviceFormats formats =
            driverhost::OfferedFormats(*driverhost::FindDeviceModel(c.device));
        ASSERT_TRUE(formats.asio);
        EXPECT_EQ(driverhost::DescribeAsio(*formats.asio, ""), c.asio);
    }
    const driverhost::DeviceFormats plain =
        driverhost::OfferedFormats(*driverhost::FindDeviceModel("uac2"));
    EXPECT_FALSE(plain.asio);
}

// A rate, width or channel count ASIO does not take is refused before the
// run, naming what it takes.
TEST(HostAsio, WhatAsioDoesNotTakeIsRefusedNamingWhatItTakes) {
    const char* uac1 = "  channels: 2 out, 1 in\n  sample types: 16 (16 bits)\n  rates: 48000 Hz";
    const char* uac2 = "  channels: 2 out, 1 in\n"
                       "  sample types: 16 (16 bits), 27 (24 bits in 32), 18 (32 bits)\n"
                       "  rates: 44100, 48000, 88200, 96000, 176400, 192000 Hz";
    const struct {
        const char* device;
        PinFormat asked;
        const char* takes;
    } cases[] = {
        {"uac1-asio", {44100, 2, 16, 16, 0}, uac1}, // the microphone has no 44.1 kHz
        {"uac1-asio", {48000, 2, 24, 24, 0}, uac1}, {"uac1-asio", {48000, 1, 16, 16, 0}, uac1},
        {"uac2-asio", {48000, 2, 24, 24, 0}, uac2}, {"uac2-asio", {48000, 2, 16, 32, 0}, uac2},
        {"uac2-asio", {22050, 2, 16, 16, 0}, uac2}, {"uac2-asio", {48000, 6, 16, 16, 0}, uac2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.device) + ", " + driverhost::FormatName(c.asked));
        const io::Registry registry;
        const testkit::TempFolder folder;
        const RoadCase road{c.device, true, c.asked, c.asked.channels, true};
        Options options = RoadOptions(road, driverhost::Signal::sine, folder);
        const RunResult result = driverhost::runDriverHost(options);
        EXPECT_EQ(result.status, kernel::STATUS_NOT_SUPPORTED);
        EXPECT_EQ(result.failure, "ASIO on the " + std::string(c.device) +
                                      " device does not take " + driverhost::FormatName(c.asked) +
                                      "; it takes:\n" + c.takes);
        EXPECT_FALSE(std::filesystem::exists(options.out));
        EXPECT_EQ(result.poolBlocksLeft, 0u);
    }
}

} // namespace
