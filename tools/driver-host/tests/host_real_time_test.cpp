// The host as the run command plays it, but on the real clock: two seconds
// of the sine through the render pin, the microphone's pin beside it. What
// the device received lasts the run's seconds, and the sine reaches it at
// its own level. The system's threads, timers and bus frames follow the
// wall clock here, so these tests carry the label "realtime" (a sanitized
// build leaves them out). A loaded machine may not keep up with the clock:
// each run is watched by timed waits of the test's own (WakeLateness), and a
// run that lost frames while they woke late ends as skipped with how late
// they came; frames lost while every wake came on time fail it.
#include "platform/io/registry.h"
#include "platform/kernel/real_clock_lateness.h"
#include "testkit/temp_folder.h"
#include "tools/driver-host/host_run.h"
#include "tools/driver-host/signal_source.h"
#include "tools/driver-host/tests/wake_lateness.h"
#include "tools/driver-host/tests/wav_reading.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

namespace {

using driverhost::Options;
using driverhost::RunResult;
using driverhost::SignalSource;

// Frames of a 5 ms transfer at 48 kHz: the unit of what the device receives.
constexpr std::int64_t transferFrames = 240;

// The level of 16-bit stereo frames against the sine's own, in dB: the RMS
// over whole periods of the sine, from `first` on. The RMS rather than the
// peak: the peak is one sample of each period and says nothing of the
// others, so a gain applied to part of the run, a stretch of silence or
// frames lost on the way would pass unseen; every sample counts in the RMS.
// A 1 kHz period is exactly 48 frames at 48 kHz, and the mean square of a
// sampled sine over whole periods is the sine's own, A^2/2, whatever its
// phase, so no window is needed.
double LevelOfSine(const std::vector<std::uint8_t>& wav, std::int64_t first, std::int64_t frames) {
    const std::int64_t period = static_cast<std::int64_t>(Options{}.rate / SignalSource::sineHertz);
    const std::int64_t count = (frames - first) / period * period;
    double sum = 0;
    for (std::int64_t f = first; f < first + count; ++f)
        for (std::int64_t channel = 0; channel < 2; ++channel) {
            const std::size_t at = 44 + static_cast<std::size_t>(f * 4 + channel * 2);
            const auto sample = static_cast<std::int16_t>(wav[at] | wav[at + 1] << 8);
            sum += static_cast<double>(sample) * sample;
        }
    const double rms = std::sqrt(sum / static_cast<double>(2 * count));
    const double sineRms = SignalSource::amplitude * 32767 / std::sqrt(2.0);
    return 20 * std::log10(rms / sineRms);
}

// Two seconds of the run command's sine, the microphone's pin beside it,
// watched by the test's timed waits; `load` busy threads compete meanwhile.
void PlayTwoSecondsOfTheSine(unsigned load) {
    const io::Registry registry;
    const testkit::TempFolder folder;
    Options options; // the run command's: release 1 headset, 16-bit stereo sine at 48 kHz, 2 s
    options.out = (folder.path() / "out.wav").string();
    options.captureOut = (folder.path() / "capture.wav").string();
    ASSERT_FALSE(options.lockstep);
    RunResult result;
    driverhost::testing::Lateness lateness;
    kernel::RealClockLateness service;
    {
        const driverhost::testing::CpuLoad competing(load);
        kernel::resetRealClockLateness(driverhost::testing::WakeLateness::allowance);
        driverhost::testing::WakeLateness watch;
        result = driverhost::runDriverHost(options);
        lateness = watch.stop();
        service = kernel::realClockLateness();
        ASSERT_TRUE(load == 0 || competing.ran());
    }
    ASSERT_EQ(result.status, kernel::STATUS_SUCCESS) << result.failure;
    EXPECT_EQ(result.poolBlocksLeft, 0u);
    ASSERT_GT(lateness.wakes, 0u);

    const std::vector<std::uint8_t> wav = driverhost::testing::ReadFile(options.out);
    ASSERT_EQ(wav.size(), 44 + result.frames * 4);
    const auto frames = static_cast<std::int64_t>(result.frames);

    // The length. The engine filled the first transfers in flight with
    // silence, before the signal's place in the buffer came, and each one it
    // sent after them, one as each came back, with the signal through the
    // limiter; the limiter still holds its delay's frames when the pin stops,
    // and the stop lets the transfers in flight play out. So the signal that
    // reached the device and the frames the limiter kept are the transfers
    // that came back while the pin ran: the run's seconds, counted from the
    // first bus frame after the pin ran (up to a frame later), in whole
    // transfers. That is the seconds, or up to a transfer and a bus frame
    // less; a host that plays on past its end gives more.
    const auto seconds = static_cast<std::int64_t>(options.seconds * options.rate);
    const std::int64_t busFrame = options.rate / 1000;
    ASSERT_GE(result.delayFrames, 0);
    const std::int64_t played = frames - result.delayFrames + result.limiterDelayFrames();

    // What the run lost, and whether the machine kept up meanwhile.
    const bool lost = result.lostFrames() || played < seconds - transferFrames - busFrame;
    const char* const precedence = result.realTimeScheduling
                                       ? "under real-time scheduling"
                                       : "real-time scheduling was not granted";
    // The clock's own service thread, which fires the bus's timers and runs
    // its deferred calls, may have been held back where the test's thread
    // was not (it keeps the precedence of the thread that started it).
    const std::string serviceLateness = std::to_string(service.lateWakes) + " of " +
                                        std::to_string(service.timedWakes) +
                                        " of the clock service's timed wakes late, the latest by " +
                                        std::to_string(service.worst.count()) + " us";
    std::printf("%u competing threads: %s; %s; %s\n", load, lateness.describe().c_str(),
                serviceLateness.c_str(), precedence);
    ASSERT_GT(service.timedWakes, 0u);
    if (lost && (lateness.lateWakes != 0 || service.lateWakes != 0))
        GTEST_SKIP() << "the machine did not keep up with the wall clock (" << lateness.describe()
                     << "; " << serviceLateness << "; " << precedence << "): " << result.underruns
                     << " underruns, " << result.gaps << " packet slots without a packet, "
                     << result.renderFramesLost << " render frames lost, " << result.staleFrames
                     << " stale, " << result.captureLosses.lost << " capture frames lost, "
                     << result.captureLosses.repeated << " repeated; " << played << " of "
                     << seconds << " frames played";
    SCOPED_TRACE(lateness.describe() + "; " + serviceLateness + "; " + precedence);
    EXPECT_EQ(result.underruns, 0u);
    EXPECT_EQ(result.gaps, 0u);
    EXPECT_EQ(result.renderFramesLost, 0u);
    EXPECT_EQ(result.staleFrames, 0u);
    EXPECT_FALSE(result.captureLosses.any())
        << result.captureLosses.lost << " lost, " << result.captureLosses.repeated << " repeated";
    EXPECT_EQ(result.inFlightFrames, 3 * transferFrames);
    EXPECT_EQ(result.limiterDelayFrames(), 256);
    EXPECT_LE(played, seconds) << "transfers " << result.transfers;
    EXPECT_GE(played, seconds - transferFrames - busFrame) << "transfers " << result.transfers;

    // The level, from the sine's first frame on.
    ASSERT_GT(frames - result.delayFrames, options.rate);
    EXPECT_NEAR(LevelOfSine(wav, result.delayFrames, frames), 0.0, 0.1);
}

TEST(HostRealTime, TwoSecondsOfTheSineReachTheDeviceAtItsLevel) { PlayTwoSecondsOfTheSine(0); }

// Under a competing load of two busy loops on every core the run either
// keeps up, or loses frames while the test's waits measurably woke late and
// is skipped with that figure; it never fails for the machine's load.
TEST(HostRealTime, ALoadedMachineIsToldFromAFault) {
    PlayTwoSecondsOfTheSine(2 * std::max(1u, std::thread::hardware_concurrency()));
}

} // namespace
