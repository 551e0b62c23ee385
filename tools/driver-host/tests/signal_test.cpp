// The host's signals, and where the device's stream finds them.
#include "tools/driver-host/signal_delay.h"
#include "tools/driver-host/signal_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using driverhost::Options;
using driverhost::Signal;
using driverhost::SignalSource;

Options Make(Signal signal, std::uint16_t bits = 16, std::uint16_t channels = 2) {
    Options options;
    options.signal = signal;
    options.bits = bits;
    options.channels = channels;
    options.seconds = 1;
    return options;
}

// The first channel's samples of `frames` frames.
std::vector<std::int64_t> Samples(const Options& options, std::uint32_t frames) {
    const std::uint32_t bytes = options.bits / 8u;
    const std::uint32_t frameBytes = bytes * options.channels;
    std::vector<std::uint8_t> raw(std::size_t{frames} * frameBytes);
    SignalSource(options).fill(raw.data(), frames);
    std::vector<std::int64_t> samples;
    for (std::uint32_t f = 0; f < frames; ++f) {
        const std::uint8_t* frame = &raw[std::size_t{f} * frameBytes];
        std::uint64_t value = 0;
        for (std::uint32_t b = 0; b < bytes; ++b) value |= std::uint64_t{frame[b]} << (8 * b);
        const int shift = 64 - 8 * static_cast<int>(bytes);
        samples.push_back(static_cast<std::int64_t>(value << shift) >> shift);
        // Every channel holds the same sample.
        for (std::uint16_t c = 1; c < options.channels; ++c)
            EXPECT_EQ(std::memcmp(frame, frame + c * bytes, bytes), 0) << "frame " << f;
    }
    return samples;
}

// Rising zero crossings within [from, from + count).
int RisingCrossings(const std::vector<std::int64_t>& samples, std::size_t from, std::size_t count) {
    int crossings = 0;
    for (std::size_t i = from + 1; i < from + count; ++i)
        crossings += samples[i - 1] < 0 && samples[i] >= 0;
    return crossings;
}

TEST(HostSignal, SineAndSweepPeakAtHalfScaleInEveryWidth) {
    for (const std::uint16_t bits : {16, 24, 32})
        for (const Signal signal : {Signal::sine, Signal::sweep}) {
            SCOPED_TRACE(::testing::Message() << bits << " bits, signal " << int(signal));
            const Options options = Make(signal, bits, 1);
            const std::vector<std::int64_t> samples = Samples(options, 48000);
            std::int64_t peak = 0;
            for (const std::int64_t s : samples)
                peak = std::max<std::int64_t>(peak, s < 0 ? -s : s);
            const double half = 0.5 * static_cast<double>((std::int64_t{1} << (bits - 1)) - 1);
            EXPECT_LE(static_cast<double>(peak), half + 0.5);
            EXPECT_GT(static_cast<double>(peak), 0.999 * half);
        }
}

TEST(HostSignal, SineRunsAtOneKilohertzAndTheSweepRisesToTwentyKilohertz) {
    const std::vector<std::int64_t> sine = Samples(Make(Signal::sine), 48000);
    EXPECT_NEAR(RisingCrossings(sine, 0, 48000), 1000, 1);
    // Over a second from 20 Hz to 20 kHz: the frequency at t is 20 * 1000^t.
    const std::vector<std::int64_t> sweep = Samples(Make(Signal::sweep), 48000 + 4800);
    EXPECT_LE(RisingCrossings(sweep, 0, 4800), 3);                // first 0.1 s: 20 to 40 Hz
    EXPECT_NEAR(RisingCrossings(sweep, 24000 - 480, 960), 12, 1); // about 632 Hz at 0.5 s
    EXPECT_NEAR(RisingCrossings(sweep, 48000, 4800), 2000, 2);    // held at 20 kHz after
}

TEST(HostSignal, SweepStopsBelowTheNyquistRateOfALowRate) {
    Options options = Make(Signal::sweep);
    options.rate = 8000;
    const std::vector<std::int64_t> samples = Samples(options, 8000 + 800);
    // 0.45 of 8 kHz after the sweep: 360 periods in 0.1 s.
    EXPECT_NEAR(RisingCrossings(samples, 8000, 800), 360, 2);
}

TEST(HostSignal, RampCountsFramesAndWrapsAtFullScale) {
    const std::vector<std::int64_t> ramp = Samples(Make(Signal::ramp), 65540);
    for (std::size_t f = 0; f < ramp.size(); ++f) ASSERT_EQ(ramp[f], std::int64_t(f % 32768)) << f;
}

// In a wider container the valid bits sit at its top, the low bits zero, as
// an extensible format of fewer valid bits wants.
TEST(HostSignal, ValidBitsSitAtTheTopOfAWiderContainer) {
    const struct {
        std::uint16_t bits;
        std::uint16_t container;
    } cases[] = {{24, 32}, {16, 32}, {16, 24}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " in " + std::to_string(c.container));
        Options packed = Make(Signal::sine, c.bits);
        Options wide = packed;
        wide.container = c.container;
        const std::uint32_t packedBytes = c.bits / 8u, wideBytes = c.container / 8u;
        std::vector<std::uint8_t> a(100 * 2 * packedBytes), b(100 * 2 * wideBytes);
        SignalSource(packed).fill(a.data(), 100);
        SignalSource(wide).fill(b.data(), 100);
        for (std::size_t sample = 0; sample < 200; ++sample)
            for (std::uint32_t byte = 0; byte < wideBytes; ++byte) {
                const std::uint32_t low = wideBytes - packedBytes;
                const std::uint8_t expected = byte < low ? 0 : a[sample * packedBytes + byte - low];
                ASSERT_EQ(b[sample * wideBytes + byte], expected) << sample << ", byte " << byte;
            }
    }
}

// The channel bursts: in each slot one channel alone carries the noise,
// peaking at half scale, for the burst's length, then every channel is
// silent; the slots take the channels in turn.
TEST(HostSignal, ChannelBurstsTakeEachChannelAloneInTurn) {
    for (const std::uint16_t channels : {2, 6, 8}) {
        SCOPED_TRACE(channels);
        Options options = Make(Signal::channels, 16, channels);
        const std::uint32_t slot = 9600, burst = 4800, frames = slot * (channels + 1u);
        const std::uint32_t frameBytes = 2u * channels;
        std::vector<std::uint8_t> raw(std::size_t{frames} * frameBytes);
        SignalSource(options).fill(raw.data(), frames);
        std::vector<double> peak(channels, 0.0);
        for (std::uint32_t f = 0; f < frames; ++f)
            for (std::uint16_t c = 0; c < channels; ++c) {
                const std::uint8_t* at = &raw[std::size_t{f} * frameBytes + 2u * c];
                const auto value = static_cast<std::int16_t>(at[0] | at[1] << 8);
                const bool bursting = f % slot < burst && f / slot % channels == c;
                if (!bursting) {
                    ASSERT_EQ(value, 0) << "frame " << f << ", channel " << c;
                    continue;
                }
                ASSERT_EQ(value, std::llround(0.5 * 32767 * SignalSource::Noise(f)));
                peak[c] = std::max(peak[c], std::abs(value) / 32767.0);
            }
        for (std::uint16_t c = 0; c < channels; ++c) EXPECT_NEAR(peak[c], 0.5, 0.01) << c;
    }
}

TEST(SignalDelay, FindsTheSignalAfterTheSilenceTheDeviceGotFirst) {
    const struct {
        const char* name;
        Signal signal;
        std::uint32_t silentFrames; // before the signal
        std::int64_t delay;
        bool leadIn = false; // a faint sample a frame before the signal, as a filter rings
    } cases[] = {
        {"sine after 976 frames", Signal::sine, 976, 976},
        {"ramp at once", Signal::ramp, 0, 0},
        {"ramp after 256 frames", Signal::ramp, 256, 256},
        {"sweep after one frame", Signal::sweep, 1, 1},
        {"sine after 917 frames with a lead-in", Signal::sine, 917, 917, true},
        {"sweep after 300 frames with a lead-in", Signal::sweep, 300, 300, true},
    };
    const driverhost::WavFormat stereo16{48000, 2, 2};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Options options = Make(c.signal);
        std::vector<std::uint8_t> stream(std::size_t{c.silentFrames} * 4 + 400 * 4);
        SignalSource(options).fill(stream.data() + std::size_t{c.silentFrames} * 4, 400);
        if (c.leadIn) stream[std::size_t{c.silentFrames - 1} * 4] = 3;
        EXPECT_EQ(driverhost::SignalDelay(stream, stereo16, options), c.delay);
    }
    // The same in a wider device layout: 24 bits in 4-byte subslots.
    Options wide = Make(Signal::sine);
    wide.bits = 24;
    wide.container = 32;
    std::vector<std::uint8_t> stream(100 * 8 + 400 * 8);
    SignalSource(wide).fill(stream.data() + 100 * 8, 400);
    EXPECT_EQ(driverhost::SignalDelay(stream, {48000, 2, 4}, wide), 100);
    const Options options = Make(Signal::sine);
    EXPECT_EQ(driverhost::SignalDelay(std::vector<std::uint8_t>(4000), stereo16, options), -1);
    EXPECT_EQ(driverhost::SignalDelay({}, stereo16, options), -1);
    EXPECT_EQ(driverhost::SignalDelay(std::vector<std::uint8_t>(8, 1), {48000, 0, 2}, options), -1);
}

} // namespace
