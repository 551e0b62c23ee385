// What a run lost is what it reports. The microphone's count and a ramp
// (which counts up by one a frame as the microphone does) show every frame
// lost or repeated, so the counting is checked on streams cut on purpose; a
// lockstep run whose host is held back on purpose, as a loaded machine holds
// it on the real clock, reports every frame it lost, as many as the files
// show; a run that loses nothing reports none. The device's samples at full
// scale are counted, and the multichannel fold that clips shows it.
#include "platform/io/registry.h"
#include "testkit/temp_folder.h"
#include "tools/driver-host/host_run.h"
#include "tools/driver-host/stream_losses.h"
#include "tools/driver-host/tests/wav_reading.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

namespace {

using driverhost::CaptureLosses;
using driverhost::CountCaptureLosses;
using driverhost::Options;
using driverhost::RunResult;
using driverhost::Signal;

// Frames of `channels` samples of `bytes`, each sample the frame's value.
std::vector<std::uint8_t> Frames(const std::vector<std::uint64_t>& values, std::uint16_t channels,
                                 std::uint16_t bytes) {
    std::vector<std::uint8_t> frames;
    for (const std::uint64_t value : values)
        for (std::uint16_t c = 0; c < channels; ++c)
            for (std::uint16_t b = 0; b < bytes; ++b)
                frames.push_back(static_cast<std::uint8_t>(value >> (8 * b)));
    return frames;
}

std::vector<std::uint64_t> Count(std::uint64_t from, std::uint64_t frames) {
    std::vector<std::uint64_t> values;
    for (std::uint64_t f = 0; f < frames; ++f) values.push_back(from + f);
    return values;
}

std::vector<std::uint64_t> Joined(std::vector<std::uint64_t> a,
                                  const std::vector<std::uint64_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(StreamLosses, TheCountShowsEveryFrameLostOrRepeated) {
    const struct {
        const char* name;
        std::vector<std::uint64_t> values;
        std::uint16_t bytes;
        CaptureLosses expected; // lost, repeated, discontinuities
    } cases[] = {
        {"on by one, through the 16-bit wrap and its zero", Count(65500, 100), 2, {0, 0, 0}},
        {"five frames skipped", Joined(Count(10, 20), Count(35, 20)), 2, {5, 0, 1}},
        {"three frames again", Joined(Count(10, 20), Count(27, 20)), 2, {0, 3, 1}},
        {"frames handed on as silence",
         Joined(Joined(Count(10, 20), {0, 0, 0, 0}), Count(34, 9)),
         2,
         {4, 0, 1}},
        {"silence, then the count restarted",
         Joined(Joined(Count(10, 20), {0, 0}), Count(1, 9)),
         2,
         {0, 9, 1}},
        {"a stale block, then the count where it was",
         Joined(Joined(Count(10, 20), Count(20, 5)), Count(30, 10)),
         2,
         {0, 5, 2}},
        {"silence to the end", Joined(Count(10, 20), {0, 0, 0}), 2, {3, 0, 1}},
        {"24 bits, a skip past the 16-bit range",
         Joined(Count(70000, 5), Count(70005 + 1000, 5)),
         3,
         {1000, 0, 1}},
        {"32 bits, through its wrap", Count(0xFFFFFFF0u, 40), 4, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::uint16_t channels : {1, 2}) {
            const CaptureLosses losses =
                CountCaptureLosses(Frames(c.values, channels, c.bytes), channels, c.bytes);
            EXPECT_EQ(losses.lost, c.expected.lost);
            EXPECT_EQ(losses.repeated, c.expected.repeated);
            EXPECT_EQ(losses.discontinuities, c.expected.discontinuities);
        }
    }
}

TEST(StreamLosses, FullScaleIsTheTopOrTheBottomOfTheValidBits) {
    // 16 bits: both ends count, one step in does not.
    EXPECT_EQ(driverhost::FullScaleSamples(Frames({0x7FFF, 0x8000, 0x7FFE, 0x8001, 0}, 1, 2), 2),
              2u);
    EXPECT_EQ(driverhost::FullScaleSamples(Frames({0x7FFFFF, 0x800000, 0x7FFFFE}, 1, 3), 3), 2u);
    // 24 valid bits at the top of 32: the low byte does not matter.
    EXPECT_EQ(driverhost::FullScaleSamples(
                  Frames({0x7FFFFF00, 0x7FFFFFFF, 0x80000000, 0x7FFFFE00}, 1, 4), 4),
              3u);
}

Options Lockstep(const char* device, Signal signal, double seconds) {
    Options options;
    options.device = device;
    options.signal = signal;
    options.seconds = seconds;
    options.lockstep = true;
    return options;
}

// The ramp that reached the device from its first frame on, as the count shows it.
CaptureLosses RampLosses(const std::vector<std::uint8_t>& wav, const RunResult& result) {
    const std::size_t first = 44 + static_cast<std::size_t>(result.delayFrames) * 4;
    return CountCaptureLosses(std::span(wav).subspan(first), 2, 2);
}

// One part of the host held back for longer than the transfers in flight
// or the buffer last, in the middle of a run, then catching up: every frame
// lost is in the figures, as many as the files show; without it the same
// run loses none.
TEST(HostLosses, AHostHeldBackReportsEveryFrameItLost) {
    using Late = driverhost::Stall::Late;
    const struct {
        const char* name;
        std::optional<driverhost::Stall> stall;
    } cases[] = {
        {"on time", std::nullopt},
        {"the bus 30 ms late", driverhost::Stall{Late::bus, 0.2, 0.03}},
        {"the render pump 40 ms late", driverhost::Stall{Late::render, 0.2, 0.04}},
        {"the capture reader 150 ms late", driverhost::Stall{Late::capture, 0.2, 0.15}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const io::Registry registry;
        const testkit::TempFolder folder;
        Options options = Lockstep("uac1", Signal::ramp, 0.5);
        options.out = (folder.path() / "out.wav").string();
        options.captureOut = (folder.path() / "capture.wav").string();
        const RunResult result = driverhost::runDriverHost(options, c.stall);
        ASSERT_EQ(result.status, kernel::STATUS_SUCCESS) << result.failure;
        EXPECT_EQ(result.poolBlocksLeft, 0u);
        const std::vector<std::uint8_t> wav = driverhost::testing::ReadFile(options.out);
        ASSERT_EQ(wav.size(), 44 + result.frames * 4);
        ASSERT_GE(result.delayFrames, 0);
        const CaptureLosses render = RampLosses(wav, result);
        const std::vector<std::uint8_t> capture = driverhost::testing::ReadFile(options.captureOut);
        ASSERT_EQ(capture.size(), 44 + result.capturedFrames * 2);
        const CaptureLosses captured = CountCaptureLosses(std::span(capture).subspan(44), 1, 2);
        std::printf("%s: %llu underruns, %llu packet slots missed, %llu render frames lost, %llu "
                    "stale (the ramp: %llu lost, %llu repeated in %llu breaks); capture %llu "
                    "lost, %llu repeated in %llu breaks, %llu dropped unread\n",
                    c.name, static_cast<unsigned long long>(result.underruns),
                    static_cast<unsigned long long>(result.gaps),
                    static_cast<unsigned long long>(result.renderFramesLost),
                    static_cast<unsigned long long>(result.staleFrames),
                    static_cast<unsigned long long>(render.lost),
                    static_cast<unsigned long long>(render.repeated),
                    static_cast<unsigned long long>(render.discontinuities),
                    static_cast<unsigned long long>(result.captureLosses.lost),
                    static_cast<unsigned long long>(result.captureLosses.repeated),
                    static_cast<unsigned long long>(result.captureLosses.discontinuities),
                    static_cast<unsigned long long>(result.captureOverrunFrames));
        // The microphone's figures are its file's count.
        EXPECT_EQ(result.captureLosses.lost, captured.lost);
        EXPECT_EQ(result.captureLosses.repeated, captured.repeated);
        EXPECT_EQ(result.captureLosses.discontinuities, captured.discontinuities);
        if (!c.stall) {
            EXPECT_FALSE(result.lostFrames());
            EXPECT_FALSE(render.any());
            EXPECT_FALSE(captured.any());
            continue;
        }
        EXPECT_TRUE(result.lostFrames());
        // A break in the ramp at the device is never reported as none: the
        // frames it skipped are among those lost, and the stale frames the
        // pin played are those the ramp went back over.
        EXPECT_GE(result.renderFramesLost, render.lost);
        const auto late = static_cast<std::uint64_t>(c.stall->length * options.rate);
        switch (c.stall->late) {
        case Late::bus: // the driver restarts its stream: the device plays nothing meanwhile
            EXPECT_TRUE(render.any());
            EXPECT_GE(result.renderFramesLost, late);
            break;
        case Late::render: // the frames past the margin written ahead play stale
            EXPECT_EQ(result.underruns, 1u);
            EXPECT_EQ(result.staleFrames, render.repeated);
            EXPECT_EQ(render.lost, 0u);
            EXPECT_GT(result.staleFrames, 0u);
            break;
        case Late::capture: // the buffer came round under the reader
            EXPECT_FALSE(render.any());
            EXPECT_GE(result.captureLosses.lost, late / 2);
            EXPECT_LE(result.captureLosses.lost, late);
            break;
        }
    }
}

// A 7.1 sine into the stereo headset, every channel at -6 dBFS: the fold
// sums them past full scale and the count shows the samples clipped; the
// stereo sine at -6 dBFS never reaches it.
TEST(HostLosses, SamplesAtFullScaleAreCounted) {
    const io::Registry registry;
    Options stereo = Lockstep("uac1", Signal::sine, 0.2);
    const RunResult plain = driverhost::runDriverHost(stereo);
    ASSERT_EQ(plain.status, kernel::STATUS_SUCCESS) << plain.failure;
    EXPECT_EQ(plain.fullScaleSamples, 0u);
    Options folded = Lockstep("t6l1", Signal::sine, 0.2);
    folded.channels = 8;
    const RunResult clipped = driverhost::runDriverHost(folded);
    ASSERT_EQ(clipped.status, kernel::STATUS_SUCCESS) << clipped.failure;
    EXPECT_GT(clipped.fullScaleSamples, clipped.frames / 10) << clipped.frames << " frames";
    // The README's 7.1 example, a channel at a time, stays below it.
    folded.signal = Signal::channels;
    folded.seconds = 1.6;
    const RunResult bursts = driverhost::runDriverHost(folded);
    ASSERT_EQ(bursts.status, kernel::STATUS_SUCCESS) << bursts.failure;
    EXPECT_EQ(bursts.fullScaleSamples, 0u);
}

} // namespace
