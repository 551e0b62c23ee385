#include "driver/effects/fir8.h"
#include "driver/tests/test_planes.h"
#include "driver/tests/test_wave_formats.h"
#include "platform/kernel/pool.h"
#include "sigproc/sigproc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

namespace {

constexpr std::uint32_t kBlock = CFir8::BlockFrames;
constexpr std::uint32_t kDelay = 2 * kBlock;

using Signal = TestPlanes; // [channel][frame]

struct Settings {
    float gainLimit = 1.0f;
    float threshold = 1.0f;
    int mode = 0;
};

// A limiter set up the way its owners do it.
struct Limiter {
    CFir8 fir;
    Limiter(std::uint16_t channels, Settings settings, std::uint32_t rate = 48000) {
        EXPECT_EQ(fir.Allocate(), 1);
        fir.SetMode(settings.mode);
        fir.SetTargetGain(settings.gainLimit);
        fir.SetParam(settings.threshold);
        const ks::WaveFormatExtensible format =
            TestWaveFormat(ks::format_tag::ieeeFloat, channels, 32, rate);
        fir.SetFormat(&format);
    }

    // The signal through Process in calls of `chunk` frames.
    Signal Run(Signal signal, std::uint32_t chunk) {
        const std::uint32_t frames = static_cast<std::uint32_t>(signal[0].size());
        for (std::uint32_t at = 0; at < frames; at += chunk) {
            const auto planes = PlanePointers(signal, static_cast<int>(at));
            fir.Process(planes.data(), static_cast<int>(std::min(chunk, frames - at)));
        }
        return signal;
    }
};

// The limiter written out over a whole signal from reset, frame by frame
// rather than through its half buffers: the block that ends at frame
// (b + 1) x 128 decides the common target from the peaks of the 20 blocks up
// to it, the block before it is scaled by a gain moving to that target, and
// it leaves 256 frames after it came in.
Signal ReferenceLimiter(const Signal& in, Settings settings) {
    const std::size_t channels = in.size();
    const std::size_t blocks = in[0].size() / kBlock;
    Signal out(channels, std::vector<float>(in[0].size(), 0.0f));
    std::vector<std::vector<float>> peaks(channels);
    std::vector<float> gain(channels, 1.0f);
    bool ramp = true;
    for (std::size_t b = 0; b < blocks; ++b) {
        float target = INFINITY;
        for (std::size_t c = 0; c < channels; ++c) {
            float peak = 0.0f;
            for (std::size_t j = 0; j < kBlock; ++j)
                peak = std::max(peak, std::fabs(in[c][b * kBlock + j]));
            peaks[c].push_back(peak);
            const std::size_t from = b >= 19 ? b - 19 : 0;
            const float window = *std::max_element(peaks[c].begin() + from, peaks[c].end());
            float wanted = settings.threshold >= window * settings.gainLimit
                               ? settings.gainLimit
                               : settings.threshold / window;
            target = std::min(target, std::max(wanted, 0.0f));
        }
        for (std::size_t c = 0; c < channels; ++c) {
            float g = gain[c];
            const float minimum = g / 8388608.0f;
            float step = 0.0f;
            if (g < target) step = std::max((target - g) / (ramp ? 128.0f : 10240.0f), minimum);
            if (g > target) step = std::max((g - target) / 128.0f, minimum);
            for (std::size_t j = 0; j < kBlock; ++j) {
                const std::size_t t = (b + 1) * kBlock + j; // output frame of the block before b
                const float sample = b == 0 ? 0.0f : in[c][(b - 1) * kBlock + j];
                if (t < out[c].size()) out[c][t] = sample * g;
                g = g < target ? std::min(g + step, target) : std::max(g - step, target);
            }
            gain[c] = g;
        }
        ramp = false;
    }
    return out;
}

// Deterministic noise at a level, with bursts.
Signal MakeSignal(std::size_t channels, std::size_t blocks, float level,
                  const std::vector<std::array<std::size_t, 3>>& bursts, float burstPeak) {
    Signal signal(channels, std::vector<float>(blocks * kBlock));
    std::uint32_t seed = 12345;
    for (auto& channel : signal)
        for (float& s : channel) {
            seed = seed * 1664525u + 1013904223u;
            s = level * (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f);
        }
    for (const auto& [channel, block, frame] : bursts)
        signal[channel][block * kBlock + frame] = burstPeak;
    return signal;
}

struct ScenarioCase {
    const char* name;
    Settings settings;
    std::size_t channels;
    float level;
    std::vector<std::array<std::size_t, 3>> bursts; // channel, block, frame
    float burstPeak;
};

const ScenarioCase kScenarios[] = {
    {"quiet, unity", {}, 2, 0.3f, {}, 0.0f},
    {"peak of 2 on one channel", {}, 3, 0.2f, {{1, 5, 77}}, 2.0f},
    {"negative peaks close together", {}, 2, 0.4f, {{0, 3, 0}, {1, 9, 127}, {0, 30, 64}}, -3.0f},
    {"make-up gain of 2.8183", {2.8183f, 1.0f, 0}, 2, 0.1f, {{0, 8, 3}}, 0.9f},
    {"threshold below full scale", {1.0f, 0.5f, 0}, 8, 0.3f, {{7, 2, 10}}, 1.5f},
    {"slow mode", {2.0f, 1.0f, 1}, 1, 0.2f, {{0, 4, 4}}, 1.0f},
};

TEST(Fir8, MatchesTheReferenceLimiter) {
    for (const ScenarioCase& s : kScenarios) {
        SCOPED_TRACE(s.name);
        const Signal in = MakeSignal(s.channels, 60, s.level, s.bursts, s.burstPeak);
        const Signal expected = ReferenceLimiter(in, s.settings);
        Limiter limiter(static_cast<std::uint16_t>(s.channels), s.settings);
        const Signal out = limiter.Run(in, kBlock);
        for (std::size_t c = 0; c < s.channels; ++c)
            for (std::size_t t = 0; t < out[c].size(); ++t)
                ASSERT_EQ(out[c][t], expected[c][t]) << "channel " << c << " frame " << t;
    }
}

TEST(Fir8, OutputDoesNotDependOnHowTheStreamIsCut) {
    const ScenarioCase& s = kScenarios[2];
    const Signal in = MakeSignal(s.channels, 40, s.level, s.bursts, s.burstPeak);
    Limiter whole(2, s.settings);
    const Signal expected = whole.Run(in, static_cast<std::uint32_t>(in[0].size()));
    for (std::uint32_t chunk : {1u, 48u, 127u, 129u, 441u, 480u, 512u}) {
        SCOPED_TRACE(chunk);
        Limiter cut(2, s.settings);
        EXPECT_EQ(cut.Run(in, chunk), expected);
    }
}

TEST(Fir8, SilenceAndQuietSignalsAreOnlyDelayed) {
    struct Case {
        const char* name;
        float level;
        float gainLimit;
    };
    const Case cases[] = {{"silence", 0.0f, 1.0f},
                          {"quiet at unity", 0.5f, 1.0f},
                          {"quiet with make-up", 0.3f, 2.8183f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Signal in = MakeSignal(2, 12, c.level, {}, 0.0f);
        Limiter limiter(2, {c.gainLimit, 1.0f, 0});
        const Signal out = limiter.Run(in, 480);
        for (std::size_t ch = 0; ch < 2; ++ch) {
            for (std::size_t t = 0; t < kDelay; ++t) ASSERT_EQ(out[ch][t], 0.0f) << t;
            // The make-up gain is reached within the first block of signal.
            for (std::size_t t = kDelay + kBlock; t < out[ch].size(); ++t)
                ASSERT_EQ(out[ch][t], in[ch][t - kDelay] * c.gainLimit) << t;
        }
        EXPECT_EQ(limiter.fir.GetCurrentGain(0), c.gainLimit);
    }
}

// A block peaking at 2.0: the gain falls to 0.5 ahead of it, holds there
// while the peak is in the 20-block window, then closes 1/80 of the distance
// to the limit per block; no output sample passes the threshold, and the
// other channel is lowered with it.
TEST(Fir8, PeakLowersTheSharedGainAheadAndHoldsIt) {
    const Signal in = MakeSignal(2, 60, 0.45f, {{1, 4, 100}}, 2.0f);
    Limiter limiter(2, {});
    std::vector<float> gains; // after each block
    Signal out(2);
    for (std::size_t b = 0; b < 60; ++b) {
        Signal block = {
            std::vector<float>(in[0].begin() + b * kBlock, in[0].begin() + (b + 1) * kBlock),
            std::vector<float>(in[1].begin() + b * kBlock, in[1].begin() + (b + 1) * kBlock)};
        block = limiter.Run(block, kBlock);
        for (std::size_t c = 0; c < 2; ++c)
            out[c].insert(out[c].end(), block[c].begin(), block[c].end());
        gains.push_back(limiter.fir.GetCurrentGain(0));
        EXPECT_EQ(limiter.fir.GetCurrentGain(1), gains.back());
    }
    for (std::size_t b = 0; b < 4; ++b) EXPECT_EQ(gains[b], 1.0f) << b;
    for (std::size_t b = 4; b < 24; ++b) EXPECT_EQ(gains[b], 0.5f) << b; // in the hold window
    for (std::size_t b = 24; b < 60; ++b) {
        const float expectedRise = (1.0f - gains[b - 1]) / 80.0f;
        // 128 single-precision steps: a few parts in ten thousand of rounding.
        EXPECT_NEAR(gains[b] - gains[b - 1], expectedRise, expectedRise * 1e-3f) << b;
    }
    for (const auto& channel : out)
        for (float s : channel) ASSERT_LE(std::fabs(s), 1.0f);
    // The peak leaves at 1.0, the other channel's samples around it at half.
    const std::size_t peakOut = 4 * kBlock + 100 + kDelay;
    EXPECT_EQ(out[1][peakOut], 1.0f);
    EXPECT_EQ(out[0][peakOut], in[0][peakOut - kDelay] * 0.5f);
}

TEST(Fir8, NewGainLimitIsReachedInOneBlockOnlyInModeZero) {
    struct Case {
        int mode;
        float newLimit;
        bool reachedInOneBlock;
    };
    const Case cases[] = {{0, 2.0f, true}, {0, 0.5f, true}, {1, 2.0f, false}, {1, 0.5f, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " limit " << c.newLimit);
        Limiter limiter(1, {1.0f, 1.0f, c.mode});
        const Signal quiet = MakeSignal(1, 4, 0.1f, {}, 0.0f);
        limiter.Run(quiet, kBlock);
        ASSERT_EQ(limiter.fir.GetCurrentGain(0), 1.0f);
        limiter.fir.SetTargetGain(c.newLimit);
        limiter.Run(MakeSignal(1, 1, 0.1f, {}, 0.0f), kBlock);
        if (c.reachedInOneBlock) {
            EXPECT_EQ(limiter.fir.GetCurrentGain(0), c.newLimit);
        } else {
            const float step = (c.newLimit - 1.0f) / CFir8::SlowRiseDivisor;
            EXPECT_NEAR(limiter.fir.GetCurrentGain(0), 1.0f + 128 * step, 1e-5f);
        }
    }
}

TEST(Fir8, ResetRestartsTheDelayAndKeepsTheGain) {
    Limiter limiter(1, {});
    limiter.Run(MakeSignal(1, 3, 0.2f, {{0, 2, 0}}, 4.0f), kBlock);
    const float gain = limiter.fir.GetCurrentGain(0);
    ASSERT_LT(gain, 1.0f);
    limiter.fir.Reset();
    EXPECT_EQ(limiter.fir.GetCurrentGain(0), gain);
    const Signal in = MakeSignal(1, 3, 0.2f, {}, 0.0f);
    const Signal out = limiter.Run(in, 100);
    for (std::size_t t = 0; t < kDelay; ++t) ASSERT_EQ(out[0][t], 0.0f) << t;
    // The ramp a reset leaves pending brings the gain back within one block.
    EXPECT_EQ(limiter.fir.GetCurrentGain(0), 1.0f);
}

TEST(Fir8, NothingIsProcessedWithoutBuffersOrChannels) {
    struct Case {
        const char* name;
        bool allocate;
        bool freed;
        std::uint16_t channels;
        std::uint32_t channelsKept;
    };
    const Case cases[] = {{"not allocated", false, false, 2, 2},
                          {"freed", true, true, 2, 2},
                          {"no format", true, false, 0, 0},
                          {"nine channels", true, false, 9, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFir8 fir;
        if (c.allocate) {
            ASSERT_EQ(fir.Allocate(), 1);
        }
        fir.SetTargetGain(1.0f);
        if (c.channels != 0) {
            const ks::WaveFormatExtensible format = TestPcmFormat(c.channels, 16);
            fir.SetFormat(&format);
        }
        if (c.freed) fir.Free();
        EXPECT_EQ(fir.GetChannelCount(), c.channelsKept);
        Signal planes(9, std::vector<float>(300, 0.75f));
        fir.Process(PlanePointers(planes).data(), 300);
        for (const auto& p : planes) EXPECT_EQ(p, std::vector<float>(300, 0.75f));
    }
}

std::size_t FilterStateBytes() {
    int bytes = 0;
    EXPECT_EQ(sigFirGetStateSize_32f(Fir8Taps, &bytes), sigOk);
    return static_cast<std::size_t>(bytes);
}

TEST(Fir8, AllocatesItsBuffersInThePoolUnderItsTag) {
    CFir8 fir;
    ASSERT_EQ(fir.Allocate(), 1);
    EXPECT_EQ(kernel::poolLiveBlocks(LimiterBufferTag), 32u);
    EXPECT_EQ(kernel::poolLiveBytes(LimiterBufferTag),
              8 * (101 * 4 + FilterStateBytes() + 2 * 256 * 4));
    for (const kernel::PoolBlock& block : kernel::poolLiveBlocksTagged(LimiterBufferTag))
        EXPECT_EQ(block.type, kernel::PoolType::NonPagedNx);
    const std::uint64_t serial = kernel::poolAllocationSerial();
    EXPECT_EQ(fir.Allocate(), 1); // already allocated: nothing more
    EXPECT_EQ(kernel::poolAllocationSerial(), serial);
    fir.Free();
    EXPECT_EQ(kernel::poolLiveBlocks(LimiterBufferTag), 0u);
}

// Any one of the allocations may fail: Allocate says so, the object stays
// unprocessed, Free gives back what was taken, and a later Allocate works.
TEST(Fir8, RefusedAllocationLeavesAnObjectThatFrees) {
    for (std::uint64_t failing = 1; failing <= 32; ++failing) {
        SCOPED_TRACE(failing);
        CFir8 fir;
        kernel::failPoolRequest(failing);
        EXPECT_EQ(fir.Allocate(), 0);
        kernel::clearPoolFaults();
        EXPECT_EQ(kernel::poolLiveBlocks(LimiterBufferTag), failing - 1);
        const ks::WaveFormatExtensible format = TestPcmFormat(1, 16);
        fir.SetFormat(&format);
        std::vector<float> plane(256, 0.5f);
        float* planes[] = {plane.data()};
        fir.Process(planes, 256);
        EXPECT_EQ(plane, std::vector<float>(256, 0.5f));
        fir.Free();
        EXPECT_EQ(kernel::poolLiveBlocks(LimiterBufferTag), 0u);
        EXPECT_EQ(fir.Allocate(), 1);
    }
}

TEST(Fir8, ProcessingAllocatesNothing) {
    Limiter limiter(8, {2.0f, 1.0f, 0});
    const Signal in = MakeSignal(8, 10, 0.6f, {{3, 2, 2}}, 1.7f);
    const std::uint64_t requests = kernel::poolRequestCount();
    limiter.Run(in, 480);
    EXPECT_EQ(kernel::poolRequestCount(), requests);
}

// The coefficient sets: low-pass tables, symmetric about the centre tap,
// scaled to a gain of 2 at DC; the 48 kHz set has its first tap set to 1.
TEST(Fir8Coefficients, SetsAreScaledSymmetricLowPassTables) {
    struct Case {
        std::uint32_t rate;
        float firstTap;
        double dcGain;
    };
    const Case cases[] = {{48000, 1.0f, 3.0}, {44100, 0.0f, 2.0}, {96000, 0.0f, 2.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        const Fir8Coefficients taps = MakeFir8Coefficients(c.rate);
        EXPECT_EQ(taps[0], c.firstTap);
        for (int k = 1; k < Fir8Taps / 2; ++k) EXPECT_EQ(taps[k], taps[Fir8Taps - 1 - k]) << k;
        EXPECT_NEAR(std::accumulate(taps.begin(), taps.end(), 0.0), c.dcGain, 1e-5);
        double nyquist = 0.0; // response at half the rate, first tap aside
        for (int k = 1; k < Fir8Taps; ++k) nyquist += (k % 2 == 0 ? 1.0 : -1.0) * taps[k];
        EXPECT_LT(std::fabs(nyquist), 0.01);
    }
    EXPECT_NE(MakeFir8Coefficients(48000)[50], MakeFir8Coefficients(44100)[50]);
}

} // namespace
