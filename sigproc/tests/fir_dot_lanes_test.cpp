// The direct FIR path's dot products, every instruction set's build against a
// scalar reference kept here, bit for bit.
#include "sigproc/filters/fir_dot_lanes.h"
#include "testkit/fenv_guard.h"
#include "testkit/float_bits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

// y[i] = sum over k of t[k]·w[i + k]: from 0, k ascending, in double, rounded once.
std::vector<float> referenceDots(const std::vector<float>& t, const float* w, int count) {
    std::vector<float> y(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        double sum = 0.0;
        for (std::size_t k = 0; k < t.size(); ++k)
            sum += static_cast<double>(t[k]) * static_cast<double>(w[std::size_t(i) + k]);
        y[std::size_t(i)] = static_cast<float>(sum);
    }
    return y;
}

// Samples that make the order of the additions show: magnitudes from 2^-140
// (subnormal) to 2^40, both zeros, and values that cancel.
std::vector<float> awkwardSamples(std::size_t count, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-140, 40);
    std::vector<float> v(count);
    for (std::size_t i = 0; i < count; ++i) {
        v[i] = std::ldexp(mantissa(rng), exponent(rng));
        if (i % 17 == 3) v[i] = -0.0f;
        if (i % 23 == 5) v[i] = 0.0f;
        if (i % 29 == 7 && i > 0) v[i] = -v[i - 1];
    }
    return v;
}

// Huge values of alternating sign between small ones: with unit taps a
// running sum swings between about 2^40 and about 0, and the small values'
// low bits survive only where they are added near 0, so any change in the
// order of the additions shows in the rounded output.
std::vector<float> swingingSamples(std::size_t count, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> small(-1.0f, 1.0f);
    std::vector<float> v(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 2 == 0)
            v[i] = small(rng);
        else
            v[i] = (i % 4 == 1) ? 0x1p40f : -0x1p40f;
    }
    return v;
}

std::vector<std::uint32_t> bitsOf(const std::vector<float>& v) {
    std::vector<std::uint32_t> bits;
    for (float f : v) bits.push_back(testkit::bitsOf(f));
    return bits;
}

const sigWideIsa kIsas[] = {sigWideIsa::baseline, sigWideIsa::avx2, sigWideIsa::avx512};

// Tap counts on both sides of the stack window each build widens beforehand,
// output counts that leave every kind of remainder, a window starting off
// every vector alignment, under two rounding modes (the final rounding follows
// the caller's).
TEST(FirDotLanes, EveryBuildGivesTheScalarSumsBitForBit) {
    for (bool swinging : {false, true}) {
        const std::vector<float> samples =
            swinging ? swingingSamples(700, 1) : awkwardSamples(700, 1);
        for (int tapsLen : {1, 2, 7, 66, 101, 132, 209, 210, 226, 242, 300}) {
            const std::vector<float> taps = swinging
                                                ? std::vector<float>(std::size_t(tapsLen), 1.0f)
                                                : awkwardSamples(std::size_t(tapsLen), 2 + tapsLen);
            for (int count : {1, 3, 8, 15, 16, 17, 33, 47, 48, 49, 100, 131}) {
                for (int offset : {0, 1, 3}) {
                    const float* w = samples.data() + offset;
                    for (int mode : {FE_TONEAREST, FE_UPWARD}) {
                        testkit::FenvGuard guard(mode);
                        const std::vector<float> expected = referenceDots(taps, w, count);
                        for (sigWideIsa isa : kIsas) {
                            if (!sigWideIsaSupported(isa)) continue;
                            std::vector<float> y(static_cast<std::size_t>(count));
                            sigFirDotRuns.of(isa)(taps.data(), tapsLen, w, y.data(), count);
                            ASSERT_EQ(bitsOf(y), bitsOf(expected))
                                << "set " << int(isa) << ", " << tapsLen << " taps, " << count
                                << " outputs, offset " << offset << ", mode " << mode;
                        }
                    }
                }
            }
        }
    }
}

// Infinities of both signs meet zero taps and each other: every build makes
// the same NaNs and infinities where the scalar sum does.
TEST(FirDotLanes, InfinitiesGiveTheScalarResults) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    std::vector<float> samples = awkwardSamples(200, 5);
    for (std::size_t i = 0; i < samples.size(); i += 13) samples[i] = (i % 2 != 0) ? kInf : -kInf;
    std::vector<float> taps = awkwardSamples(66, 6);
    taps[10] = 0.0f;
    const std::vector<float> expected = referenceDots(taps, samples.data(), 100);
    for (sigWideIsa isa : kIsas) {
        if (!sigWideIsaSupported(isa)) continue;
        std::vector<float> y(100);
        sigFirDotRuns.of(isa)(taps.data(), 66, samples.data(), y.data(), 100);
        EXPECT_EQ(bitsOf(y), bitsOf(expected)) << "set " << int(isa);
    }
}

} // namespace
