// Every device of the catalogue, every format its pins take, in lockstep: the
// formats the driver answers for are the ones the device's descriptors
// offer; each render format plays (its length, the 1 kHz tone's level at
// the device), each capture format hands on the microphone's count without a
// gap; every other format is refused before the run, naming those that play.
#include "platform/io/registry.h"
#include "testkit/temp_folder.h"
#include "tools/driver-host/host_list.h"
#include "tools/driver-host/host_run.h"
#include "tools/driver-host/pcm_sample.h"
#include "tools/driver-host/signal_source.h"
#include "tools/driver-host/tests/wav_reading.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <optional>

namespace {

using driverhost::Options;
using driverhost::PinFormat;
using driverhost::RunResult;

constexpr double Seconds = 0.2;

// The data of a WAV file, wherever its header ends.
std::vector<std::uint8_t> ReadData(const std::filesystem::path& path) {
    const std::optional<driverhost::testing::WavRead> wav = driverhost::testing::ReadWav(path);
    return wav ? wav->data : std::vector<std::uint8_t>{};
}

// The RMS level, in dB of full scale, of one channel of a WAV's data from
// frame `first` on, over whole periods of the 1 kHz tone.
double LevelDb(const std::vector<std::uint8_t>& wav, std::uint32_t rate, std::uint32_t channels,
               std::uint32_t bytes, std::uint32_t channel, std::size_t first) {
    const std::size_t frameBytes = std::size_t{channels} * bytes;
    const std::size_t frames = wav.size() / frameBytes;
    if (frames <= first) return -999;
    // Whole periods: 1 kHz has a whole number of frames in 10 ms at every rate.
    const std::size_t period = rate / 100;
    const std::size_t count = (frames - first) / period * period;
    double sum = 0;
    for (std::size_t f = first; f < first + count; ++f) {
        const double s =
            driverhost::SampleFraction(wav.data() + f * frameBytes + channel * bytes, bytes);
        sum += s * s;
    }
    return count == 0 ? -999 : 10 * std::log10(sum / static_cast<double>(count));
}

Options RunOptions(const char* device, const PinFormat& format) {
    Options options;
    options.device = device;
    options.rate = format.rate;
    options.channels = format.channels;
    options.bits = format.bits;
    options.container = format.container;
    options.seconds = Seconds;
    options.lockstep = true;
    return options;
}

struct DeviceTable {
    const char* device;
    const char* render;  // the formats its render pin takes, as --list prints them
    const char* capture; // and its capture pin's
    // The render path passes the signal at its level; else (the N3W8
    // model's DSP nodes scale playback) every format reaches the same level.
    bool plainLevel = true;
};

// What each device's pins take. The release 2 devices carry 24-bit samples
// only in 4-byte subslots; the N3W8 chip's configuration, as the driver
// rewrites it for a chip whose registers switch nothing on, keeps its
// stereo and 5.1 playback settings; T6L1 and Q7K2 take a 7.1 client into
// their stereo endpoint.
const DeviceTable Devices[] = {
    {"uac1", "2 channels, 16 bits: 44100, 48000 Hz\n2 channels, 24 bits: 44100, 48000 Hz\n",
     "1 channel, 16 bits: 48000 Hz\n"},
    {"uac1-asio", "2 channels, 16 bits: 44100, 48000 Hz\n", "1 channel, 16 bits: 48000 Hz\n"},
    {"uac2",
     "2 channels, 16 bits: 44100, 48000, 88200, 96000, 176400, 192000 Hz\n"
     "2 channels, 24 bits in 32: 44100, 48000, 88200, 96000, 176400, 192000 Hz\n"
     "2 channels, 32 bits: 44100, 48000, 88200, 96000, 176400, 192000 Hz\n",
     "1 channel, 16 bits: 44100, 48000, 88200, 96000, 176400, 192000 Hz\n"
     "1 channel, 24 bits in 32: 44100, 48000, 88200, 96000, 176400, 192000 Hz\n"
     "1 channel, 32 bits: 44100, 48000, 88200, 96000, 176400, 192000 Hz\n"},
    {"uac2-asio",
     "2 channels, 16 bits: 44100, 48000, 88200, 96000, 176400, 192000 Hz\n"
     "2 channels, 24 bits in 32: 44100, 48000, 88200, 96000, 176400, 192000 Hz\n"
     "2 channels, 32 bits: 44100, 48000, 88200, 96000, 176400, 192000 Hz\n",
     "1 channel, 16 bits: 44100, 48000, 88200, 96000, 176400, 192000 Hz\n"
     "1 channel, 24 bits in 32: 44100, 48000, 88200, 96000, 176400, 192000 Hz\n"
     "1 channel, 32 bits: 44100, 48000, 88200, 96000, 176400, 192000 Hz\n"},
    {"n3w8", "2 channels, 16 bits: 44100, 48000 Hz\n6 channels, 16 bits: 44100, 48000 Hz\n",
     "2 channels, 16 bits: 44100, 48000 Hz\n", false},
    {"k7d2", "2 channels, 16 bits: 44100, 48000 Hz\n", "1 channel, 16 bits: 48000 Hz\n"},
    {"p9f4", "2 channels, 16 bits: 44100, 48000 Hz\n", "1 channel, 16 bits: 48000 Hz\n"},
    {"t6l1", "8 channels, 16 bits: 44100, 48000 Hz\n", "1 channel, 16 bits: 48000 Hz\n"},
    {"q7k2", "8 channels, 16 bits: 44100, 48000 Hz\n", "1 channel, 16 bits: 48000 Hz\n"},
};

// The formats the driver takes are those the descriptors offer.
TEST(HostFormats, EachDeviceOffersTheFormatsOfItsDescriptors) {
    for (const DeviceTable& device : Devices) {
        SCOPED_TRACE(device.device);
        const driverhost::DeviceFormats formats =
            driverhost::OfferedFormats(*driverhost::FindDeviceModel(device.device));
        ASSERT_TRUE(formats.started);
        EXPECT_EQ(driverhost::DescribeFormats(formats.render, ""), device.render);
        EXPECT_EQ(driverhost::DescribeFormats(formats.capture, ""), device.capture);
    }
}

// Every render format plays: about the run's length reaches the device after
// the limiter's 256 frames, and a channel the client's first reaches
// directly carries the 1 kHz tone at -6 dBFS peak (-9.03 dB RMS), or on a
// device whose path scales it, at the level of its first format.
TEST(HostFormats, EveryOfferedRenderFormatPlays) {
    for (const DeviceTable& device : Devices) {
        const driverhost::DeviceFormats formats =
            driverhost::OfferedFormats(*driverhost::FindDeviceModel(device.device));
        std::optional<double> level;
        if (device.plainLevel) level = 20 * std::log10(0.5 / std::sqrt(2.0));
        for (const PinFormat& format : formats.render) {
            SCOPED_TRACE(std::string(device.device) + ", " + driverhost::FormatName(format));
            const io::Registry registry;
            const testkit::TempFolder folder;
            Options options = RunOptions(device.device, format);
            options.out = (folder.path() / "out.wav").string();
            const RunResult result = driverhost::runDriverHost(options);
            ASSERT_EQ(result.status, kernel::STATUS_SUCCESS) << result.failure;
            ASSERT_TRUE(result.renderFormat);
            EXPECT_EQ(*result.renderFormat, format);
            EXPECT_EQ(result.poolBlocksLeft, 0u);
            EXPECT_EQ(result.underruns, 0u);
            EXPECT_EQ(result.limiterDelayFrames(), 256);
            EXPECT_NEAR(static_cast<double>(result.frames), Seconds * format.rate,
                        0.05 * format.rate);
            const driverhost::WavFormat& layout = result.deviceFormat;
            EXPECT_EQ(layout.rate, format.rate);
            const std::vector<std::uint8_t> wav = ReadData(options.out);
            ASSERT_EQ(wav.size(), result.frames * layout.channels * layout.bytesPerSample);
            if (layout.channels == format.channels) {
                const double measured =
                    LevelDb(wav, format.rate, layout.channels, layout.bytesPerSample, 0,
                            static_cast<std::size_t>(result.delayFrames));
                if (!level) level = measured;
                EXPECT_NEAR(measured, *level, 0.1);
                EXPECT_LT(measured, -8.9); // never louder than played
                EXPECT_GT(measured, -40.0);
            }
        }
    }
}

// Every capture format runs beside a render pin of its rate and width (16
// bits where the render pin has not its width), and the microphone's count
// comes without a gap.
TEST(HostFormats, EveryOfferedCaptureFormatHandsOnTheCountWithoutAGap) {
    for (const DeviceTable& device : Devices) {
        const driverhost::DeviceFormats formats =
            driverhost::OfferedFormats(*driverhost::FindDeviceModel(device.device));
        for (const PinFormat& format : formats.capture) {
            const PinFormat* render =
                driverhost::MatchFormat(formats.render, format.rate, 2, format.bits, 0);
            if (render == nullptr)
                render = driverhost::MatchFormat(formats.render, format.rate, 2, 16, 0);
            if (render == nullptr)
                render = driverhost::NearestFormat(formats.render, format.rate, 16);
            ASSERT_NE(render, nullptr);
            // The nearest capture format to the render format is this one
            // only when none nearer is offered; skip the rest.
            const PinFormat* nearest =
                driverhost::NearestFormat(formats.capture, render->rate, render->bits);
            if (nearest == nullptr || !(*nearest == format)) continue;
            SCOPED_TRACE(std::string(device.device) + ", " + driverhost::FormatName(format));
            const io::Registry registry;
            const testkit::TempFolder folder;
            Options options = RunOptions(device.device, *render);
            options.captureOut = (folder.path() / "capture.wav").string();
            const RunResult result = driverhost::runDriverHost(options);
            ASSERT_EQ(result.status, kernel::STATUS_SUCCESS) << result.failure;
            ASSERT_TRUE(result.captureFormat);
            EXPECT_EQ(*result.captureFormat, format);
            const std::uint32_t bytes = format.container / 8u;
            const std::vector<std::uint8_t> wav = ReadData(options.captureOut);
            ASSERT_EQ(wav.size(), result.capturedFrames * format.channels * bytes);
            ASSERT_GT(result.capturedFrames, Seconds * format.rate / 2);
            // Every sample holds its frame's count, in its subslot's width.
            const auto count = [&](std::size_t frame, std::uint32_t channel) {
                std::uint64_t value = 0;
                const std::uint8_t* at = wav.data() + (frame * format.channels + channel) * bytes;
                for (std::uint32_t b = 0; b < bytes; ++b) value |= std::uint64_t{at[b]} << (8 * b);
                return value;
            };
            const std::uint64_t mask = (1ull << format.container) - 1;
            for (std::size_t f = 1; f < result.capturedFrames; ++f)
                for (std::uint32_t c = 0; c < format.channels; ++c)
                    ASSERT_EQ((count(f, c) - count(f - 1, c)) & mask, 1u)
                        << "frame " << f << ", channel " << c;
        }
    }
}

// A format neither the device offers nor the driver converts to is refused
// before any stream runs, with the formats that would play.
TEST(HostFormats, EveryOtherFormatIsRefusedNamingThoseThatPlay) {
    const struct {
        const char* device;
        PinFormat asked;
    } cases[] = {
        {"uac1", {48000, 2, 32, 32, 0}}, {"uac1", {96000, 2, 16, 16, 0}},
        {"uac1", {48000, 2, 24, 32, 0}}, // 24 bits offered packed only
        {"uac2", {48000, 2, 24, 24, 0}}, // and here in 32 only
        {"uac2", {22050, 2, 16, 16, 0}}, {"uac2", {48000, 8, 16, 16, 0}},
        {"n3w8", {48000, 8, 16, 16, 0}}, {"k7d2", {48000, 1, 16, 16, 0}},
        {"t6l1", {48000, 2, 16, 16, 0}}, // its engine takes 7.1 clients only
        {"q7k2", {96000, 8, 16, 16, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.device) + ", " + driverhost::FormatName(c.asked));
        const DeviceTable& device =
            *std::find_if(std::begin(Devices), std::end(Devices),
                          [&c](const DeviceTable& d) { return std::string(d.device) == c.device; });
        const io::Registry registry;
        const RunResult result = driverhost::runDriverHost(RunOptions(c.device, c.asked));
        EXPECT_EQ(result.status, kernel::STATUS_NOT_SUPPORTED);
        std::string plays = "its render pin plays:\n";
        for (std::string rest = device.render; !rest.empty();) {
            const std::size_t end = rest.find('\n');
            plays += "  " + rest.substr(0, end) + (end + 1 == rest.size() ? "" : "\n");
            rest.erase(0, end + 1);
        }
        EXPECT_EQ(result.failure, "the " + std::string(c.device) + " device does not play " +
                                      driverhost::FormatName(c.asked) + "; " + plays);
        EXPECT_EQ(result.poolBlocksLeft, 0u);
    }
}

// ASIO takes every width the device's pins take, in the sample type of the
// same layout: the signal reaches the device through the rings, none lost,
// in the device's own format (the header says what the data holds), a frame
// of the device for each frame played, the tone at its level.
TEST(HostFormats, AsioPlaysEveryWidthTheDeviceOffers) {
    const struct {
        const char* device;
        std::uint16_t bits;
        std::uint16_t container;
    } cases[] = {
        {"uac1-asio", 16, 16}, {"uac2-asio", 16, 16}, {"uac2-asio", 24, 32}, {"uac2-asio", 32, 32}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.device) + ", " + std::to_string(c.bits) + " bits");
        const io::Registry registry;
        const testkit::TempFolder folder;
        Options options = RunOptions(c.device, {48000, 2, c.bits, 0, 0});
        options.asio = true;
        options.out = (folder.path() / "out.wav").string();
        const RunResult result = driverhost::runDriverHost(options);
        ASSERT_EQ(result.status, kernel::STATUS_SUCCESS) << result.failure;
        ASSERT_TRUE(result.renderFormat);
        EXPECT_EQ(result.renderFormat->container, c.container);
        EXPECT_EQ(result.asioRingUnderruns, 0u);
        // A wake for each transfer of the driver's preferred buffer (5 ms at most).
        EXPECT_GE(result.asioEvents, 35u);
        EXPECT_EQ(result.poolBlocksLeft, 0u);
        // What the device received.
        EXPECT_EQ(result.deviceFormat.bytesPerSample, c.container / 8u);
        EXPECT_EQ(result.deviceFormat.sampleBits(), c.bits);
        EXPECT_NEAR(static_cast<double>(result.frames), Seconds * 48000, 0.05 * 48000);
        const std::optional<driverhost::testing::WavRead> wav =
            driverhost::testing::ReadWav(options.out);
        ASSERT_TRUE(wav);
        EXPECT_EQ(wav->bitsPerSample, c.container);
        EXPECT_EQ(wav->frames(), result.frames);
        if (c.bits != c.container) {
            EXPECT_EQ(wav->validBits, c.bits);
        }
        ASSERT_GE(result.delayFrames, 0); // the signal reached the device
        EXPECT_NEAR(LevelDb(wav->data, 48000, 2, c.container / 8u, 0,
                            static_cast<std::size_t>(result.delayFrames)),
                    20 * std::log10(0.5 / std::sqrt(2.0)), 0.1);
    }
}

// The limiter holds the signal back by 256 frames at every rate; the rest of
// the delay lay in flight. The delay is where the device's stream matches
// the ramp played, frame for frame.
TEST(HostFormats, TheLimiterShareIsItsDelayAtEveryRate) {
    for (const std::uint32_t rate : {44100u, 48000u, 96000u}) {
        SCOPED_TRACE(rate);
        const io::Registry registry;
        const testkit::TempFolder folder;
        Options options = RunOptions("uac2", {rate, 2, 16, 16, 0x3});
        options.signal = driverhost::Signal::ramp;
        options.out = (folder.path() / "out.wav").string();
        const RunResult result = driverhost::runDriverHost(options);
        ASSERT_EQ(result.status, kernel::STATUS_SUCCESS) << result.failure;
        EXPECT_EQ(result.limiterDelayFrames(), 256);
        EXPECT_EQ(result.inFlightFrames, result.delayFrames - 256);
        // Three transfers of 5 ms were in flight, within two frames (at
        // 44.1 kHz packets carry 44 or 45 frames).
        EXPECT_NEAR(static_cast<double>(result.inFlightFrames), 0.015 * rate, 2.0);
        const std::vector<std::uint8_t> wav = ReadData(options.out);
        const auto frames = static_cast<std::uint32_t>(result.frames - result.delayFrames);
        ASSERT_GT(frames, 1000u);
        std::vector<std::uint8_t> expected(std::size_t{frames} * 4);
        driverhost::SignalSource(options).fill(expected.data(), frames);
        EXPECT_TRUE(
            std::equal(expected.begin(), expected.end(), wav.begin() + result.delayFrames * 4));
        EXPECT_TRUE(std::all_of(wav.begin(), wav.begin() + result.delayFrames * 4,
                                [](std::uint8_t b) { return b == 0; }));
    }
}

} // namespace
