// The filters of the headphone virtualizer's frame driver: the IIR sets, the
// linear-phase IIR, the sample-rate converter and the sample delay.
#include "driver/tests/vsh_test_support.h"
#include "driver/zurazuvera/common/VSH/iir_filter.h"
#include "driver/zurazuvera/common/VSH/linear_phase_iir.h"
#include "driver/zurazuvera/common/VSH/simple_sample_delay.h"
#include "driver/zurazuvera/common/VSH/src_converter.h"
#include "driver/zurazuvera/common/VSH/vsh_buffers.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using vshtest::Noise;

// Both sets (numerator b0..b3, denominator a0..a3) have a symmetric
// numerator, unit gain at DC and a zero at Nyquist; other factors have none.
TEST(VshIirSets, UnitDcGainAndNyquistZero) {
    for (int factor : {1, 2}) {
        SCOPED_TRACE(factor);
        const float* c = IIRFilter::Coefficients(factor);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c[0], c[3]);
        EXPECT_EQ(c[1], c[2]);
        EXPECT_EQ(c[4], 1.0f);
        const double b = double(c[0]) + c[1] + c[2] + c[3];
        const double a = double(c[4]) + c[5] + c[6] + c[7];
        EXPECT_NEAR(b / a, 1.0, 1e-6);
        EXPECT_NEAR(double(c[0]) - c[1] + c[2] - c[3], 0.0, 1e-7);
    }
    for (int factor : {0, 3, 4, -1}) EXPECT_EQ(IIRFilter::Coefficients(factor), nullptr);
}

// The filter against its difference equation in double precision. The
// primitive folds samples in pairs that restart at every call, so call
// lengths are even, as the frame driver's blocks are.
TEST(VshIirFilter, MatchesItsDifferenceEquationAcrossCallLengths) {
    for (int factor : {1, 2}) {
        SCOPED_TRACE(factor);
        const float* c = IIRFilter::Coefficients(factor);
        const std::vector<float> in = Noise(3000, 7);
        std::vector<double> ref(in.size());
        for (std::size_t n = 0; n < in.size(); ++n) {
            double y = 0.0;
            for (int k = 0; k <= 3; ++k) {
                if (n >= std::size_t(k)) y += c[k] * double(in[n - k]);
                if (k > 0 && n >= std::size_t(k)) y -= c[4 + k] * ref[n - k];
            }
            ref[n] = y / c[4];
        }
        std::vector<float> whole(in.size()), pieces(in.size());
        IIRFilter a, b;
        ASSERT_EQ(a.Init(factor), 1);
        ASSERT_EQ(b.Init(factor), 1);
        a.Process(whole.data(), in.data(), int(in.size()));
        int at = 0;
        for (int n : vshtest::RandomCalls(int(in.size()) / 2, 150, 3)) {
            b.Process(pieces.data() + at, in.data() + at, 2 * n);
            at += 2 * n;
        }
        EXPECT_EQ(whole, pieces);
        for (std::size_t n = 0; n < in.size(); ++n) ASSERT_NEAR(whole[n], ref[n], 1e-5) << n;
    }
}

TEST(VshIirFilter, FactorWithoutSetGivesSilence) {
    IIRFilter filter;
    EXPECT_EQ(filter.Init(4), 0);
    std::vector<float> out(64, 7.0f);
    const std::vector<float> in = Noise(64, 1);
    filter.Process(out.data(), in.data(), 64);
    EXPECT_EQ(vshtest::Peak(out), 0.0);
}

// A steady tone passes at DC with gain 1 and is gone at Nyquist, measured
// after the start.
TEST(VshLinearPhaseIir, UnitDcGainAndNyquistZero) {
    for (int factor : {1, 2})
        for (double cycles : {0.0, 0.5}) {
            SCOPED_TRACE(cycles + 10 * factor);
            LinearPhaseIIR filter;
            ASSERT_EQ(filter.Init(factor), 1);
            std::vector<float> out(8 * 512);
            for (int block = 0; block < 8; ++block) {
                const std::vector<float> in = vshtest::Cosine(cycles, block * 512, 512);
                filter.Process(out.data() + block * 512, in.data(), 512);
            }
            EXPECT_NEAR(vshtest::Peak(out, 2048), cycles == 0.0 ? 1.0 : 0.0, 1e-4);
        }
}

// The forward-backward response of an impulse is centred on the look-ahead.
TEST(VshLinearPhaseIir, ImpulseResponsePeaksAtTheLookAhead) {
    for (int factor : {1, 2}) {
        LinearPhaseIIR filter;
        ASSERT_EQ(filter.Init(factor), 1);
        std::vector<float> in(1024, 0.0f), out(1024);
        in[300] = 1.0f;
        filter.Process(out.data(), in.data(), 1024);
        EXPECT_EQ(vshtest::PeakIndex(out), 300 + LinearPhaseIIR::LookAhead) << factor;
    }
}

// A block longer than the buffers gives silence, and reads and writes
// nothing beyond them (the sanitizer build watches).
TEST(VshLinearPhaseIir, OverlongBlockGivesSilence) {
    LinearPhaseIIR filter;
    ASSERT_EQ(filter.Init(2), 1);
    for (int len : {1025, 2048, 4096}) {
        const std::vector<float> in = Noise(len, 5);
        std::vector<float> out(len, 3.0f);
        filter.Process(out.data(), in.data(), len);
        EXPECT_EQ(vshtest::Peak(out), 0.0) << len;
    }
}

TEST(VshLinearPhaseIir, NanIsGoneAfterInit) {
    LinearPhaseIIR filter;
    ASSERT_EQ(filter.Init(1), 1);
    std::vector<float> in(512, NAN), out(512);
    filter.Process(out.data(), in.data(), 512);
    in.assign(512, INFINITY);
    filter.Process(out.data(), in.data(), 512);
    ASSERT_EQ(filter.Init(1), 1);
    in.assign(512, 0.0f);
    filter.Process(out.data(), in.data(), 512);
    EXPECT_TRUE(vshtest::AllFinite(out));
    EXPECT_EQ(vshtest::Peak(out), 0.0);
}

// Without flush-to-zero, an impulse followed by long silence leaves no
// subnormal sample in any output.
TEST(VshLinearPhaseIir, NoSubnormalOutputAfterAnImpulse) {
    LinearPhaseIIR filter;
    ASSERT_EQ(filter.Init(2), 1);
    std::vector<float> in(1024, 0.0f), out(1024);
    in[0] = 1.0f;
    int subnormals = 0;
    for (int block = 0; block < 200; ++block) {
        filter.Process(out.data(), in.data(), 1024);
        subnormals += vshtest::CountSubnormals(out);
        in[0] = 0.0f;
    }
    EXPECT_EQ(subnormals, 0);
}

TEST(VshLinearPhaseIir, RefusedMemoryGivesSilence) {
    LinearPhaseIIR filter;
    kernel::failPoolRequest(1);
    EXPECT_EQ(filter.Init(1), 0);
    kernel::clearPoolFaults();
    const std::vector<float> in = Noise(256, 2);
    std::vector<float> out(256, 1.0f);
    filter.Process(out.data(), in.data(), 256);
    EXPECT_EQ(vshtest::Peak(out), 0.0);
}

// Lengths, DC gain 1 and the stream's Nyquist removed, both directions,
// with the linear-phase filter (kind 1) and the plain IIR (kind 0).
TEST(VshSrcRates, LengthsDcAndNyquist) {
    struct Conversion {
        int streamRate;
        int factor;
    };
    for (const Conversion c : {Conversion{48000, 1}, Conversion{96000, 2}, Conversion{88200, 2}})
        for (int kind : {1, 0})
            for (double cycles : {0.0, 0.5}) {
                SCOPED_TRACE(testing::Message()
                             << c.streamRate << " kind " << kind << " " << cycles);
                const int high = 512 * c.factor; // samples at the higher rate per block
                SRC src;
                ASSERT_EQ(src.Init(c.streamRate, 44100, kind), 1);
                EXPECT_EQ(src.Factor(), c.factor);
                std::vector<float> low(512 * 8), back(high * 8, 99.0f);
                std::vector<float> mid(512, 99.0f);
                for (int block = 0; block < 8; ++block) {
                    const std::vector<float> in = vshtest::Cosine(cycles, block * high, high);
                    src.Down(mid.data(), in.data(), high);
                    std::copy(mid.begin(), mid.end(), low.begin() + block * 512);
                }
                const double expected = cycles == 0.0 ? 1.0 : 0.0;
                EXPECT_NEAR(vshtest::Peak(low, 2048), expected, 1e-4);
                for (int block = 0; block < 8; ++block)
                    src.Up(back.data() + block * high, low.data() + block * 512, 512);
                EXPECT_NEAR(vshtest::Peak(back, 4 * high), expected, 2e-3);
            }
}

TEST(VshSrcRates, UnsupportedFactorsAreRefused) {
    for (int rate : {0, -44100, 176400, 192000, 8000, 11025}) {
        SRC src;
        EXPECT_EQ(src.Init(rate, 44100, 1), 0) << rate;
    }
    EXPECT_EQ(kernel::poolLiveBlocks(), 0u);
}

TEST(VshSrcRates, RefusedMemoryLeavesNothing) {
    vshtest::PoolHooksScope hooks;
    const std::uint64_t requests = vshtest::PoolRequestsOf([] {
        SRC src;
        ASSERT_EQ(src.Init(96000, 44100, 1), 1);
    });
    vshtest::WithEachRequestRefused(1, requests, [](std::uint64_t failing) {
        SRC src;
        kernel::failPoolRequest(failing);
        EXPECT_EQ(src.Init(96000, 44100, 1), 0);
        kernel::clearPoolFaults();
        EXPECT_EQ(kernel::poolLiveBlocks(), 0u);
    });
}

// The flush decides on the bits, four lanes at a time and then one by one:
// every position of a lane and of the tail sees the same rule.
TEST(VshBuffers, FlushTurnsOnlySubnormalsAndZerosIntoPositiveZero) {
    using Limits = std::numeric_limits<float>;
    struct Row {
        float in;
        float out;
    };
    const Row rows[] = {
        {Limits::denorm_min(), 0.0f},
        {-Limits::denorm_min(), 0.0f},
        {Limits::min() / 2, 0.0f},
        {-0.0f, 0.0f},
        {Limits::min(), Limits::min()},
        {-Limits::min(), -Limits::min()},
        {Limits::infinity(), Limits::infinity()},
        {1.5f, 1.5f},
        {Limits::quiet_NaN(), Limits::quiet_NaN()},
    };
    const auto bits = [](float v) {
        std::uint32_t b = 0;
        std::memcpy(&b, &v, sizeof b);
        return b;
    };
    for (const Row& row : rows)
        for (int count : {1, 4, 7}) {
            for (int at = 0; at < count; ++at) {
                std::vector<float> samples(std::size_t(count), 2.0f);
                samples[std::size_t(at)] = row.in;
                FlushSubnormals(samples.data(), count);
                EXPECT_EQ(bits(samples[std::size_t(at)]), bits(row.out))
                    << row.in << " at " << at << " of " << count;
                samples[std::size_t(at)] = 2.0f;
                EXPECT_EQ(samples, std::vector<float>(std::size_t(count), 2.0f));
            }
        }
}

TEST(VshSampleDelay, DelaysAcrossRandomBlockLengths) {
    for (int delay : {0, 1, 64, 300}) {
        SCOPED_TRACE(delay);
        SimpleSampleDelay line(delay, 128);
        ASSERT_TRUE(line.IsValid());
        const std::vector<float> in = Noise(4000, 9);
        std::vector<float> out;
        int at = 0;
        for (int n : vshtest::RandomCalls(int(in.size()), 128, 4)) {
            ASSERT_EQ(line.Push(in.data() + at, n), n);
            out.insert(out.end(), line.Output(), line.Output() + n);
            at += n;
        }
        for (std::size_t i = 0; i < out.size(); ++i)
            ASSERT_EQ(out[i], i >= std::size_t(delay) ? in[i - delay] : 0.0f) << i;
        line.Clear();
        std::vector<float> zeros(128, 0.0f);
        ASSERT_EQ(line.Push(zeros.data(), 128), 128);
        EXPECT_EQ(vshtest::Peak(std::vector<float>(line.Output(), line.Output() + 128)), 0.0);
    }
}

// A block longer than the line was sized for is refused untouched.
TEST(VshSampleDelay, OverlongPushIsRefused) {
    SimpleSampleDelay line(16, 32);
    const std::vector<float> first = Noise(32, 1);
    ASSERT_EQ(line.Push(first.data(), 32), 32);
    const std::vector<float> before(line.Output(), line.Output() + 48);
    const std::vector<float> big = Noise(33, 2);
    EXPECT_EQ(line.Push(big.data(), 33), 0);
    EXPECT_EQ(std::vector<float>(line.Output(), line.Output() + 48), before);
}

TEST(VshSampleDelay, RefusedBufferMakesAnInvalidLine) {
    kernel::failPoolRequest(1);
    SimpleSampleDelay line(8, 16);
    kernel::clearPoolFaults();
    EXPECT_FALSE(line.IsValid());
    const std::vector<float> in(4, 1.0f);
    EXPECT_EQ(line.Push(in.data(), 4), 0);
}

} // namespace
