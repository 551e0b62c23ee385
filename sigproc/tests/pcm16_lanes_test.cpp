// The 16-bit PCM conversions against exact references kept here, through the
// entry points and through every instruction set's build of their loops.
#include "sigproc/sigproc.h"
#include "sigproc/vector/pcm16_lanes.h"
#include "testkit/fenv_guard.h"
#include "testkit/float_bits.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using testkit::floatOf;

// The value as the converter must round it: x·2^-n formed exactly in the
// 80-bit format, a NaN giving 0, saturated to 16 bits, then truncated
// (mode 0), rounded to nearest even (mode 1) or to nearest with ties away
// from zero (any other mode). Written with floor and explicit comparisons, so
// it never depends on the current rounding mode.
std::int16_t reference16(float x, int mode, int scaleFactor) {
    if (std::isnan(x)) return 0;
    long double y = std::ldexp(static_cast<long double>(x), -scaleFactor);
    y = std::fmin(std::fmax(y, -32768.0L), 32767.0L);
    const long double below = std::floor(y);
    const long double rest = y - below; // in [0, 1), exact
    long double r;
    if (mode == 0)
        r = y < 0 ? std::ceil(y) : below;
    else if (rest != 0.5L)
        r = rest < 0.5L ? below : below + 1;
    else if (mode == 1)
        r = std::fmod(below, 2.0L) == 0 ? below : below + 1;
    else
        r = y < 0 ? below : below + 1;
    return static_cast<std::int16_t>(r);
}

float reference16ToFloat(std::int16_t s, int scaleFactor) {
    const int n = scaleFactor < -112 ? -112 : scaleFactor > 126 ? 126 : scaleFactor;
    return static_cast<float>(std::ldexp(static_cast<double>(s), -n));
}

// Values at every boundary the rounding and saturation have, at scale 1.
const std::vector<float> kEdges = {0.0f,
                                   -0.0f,
                                   0.5f,
                                   -0.5f,
                                   1.5f,
                                   -1.5f,
                                   2.5f,
                                   -2.5f,
                                   0.49999997f,
                                   -0.49999997f,
                                   0.50000006f,
                                   32766.5f,
                                   32767.0f,
                                   32767.5f,
                                   32768.0f,
                                   -32767.5f,
                                   -32768.0f,
                                   -32768.5f,
                                   -32769.0f,
                                   16383.5f,
                                   -16384.5f,
                                   8388607.5f /* not a float: rounds to 8388608 */,
                                   1e-45f,
                                   -1e-45f,
                                   1.17549435e-38f,
                                   3.4028235e38f,
                                   -3.4028235e38f,
                                   testkit::kInfinity,
                                   -testkit::kInfinity,
                                   floatOf(0x7FC00000u),
                                   floatOf(0xFFC00000u),
                                   floatOf(0x7F800001u) /* signalling */};

// The edges as they are, and as values that land on them at the given scale.
std::vector<float> edgesScaledFor(int scaleFactor) {
    std::vector<float> v = kEdges;
    for (float e : kEdges) {
        const float scaled = std::ldexp(e, scaleFactor);
        if (std::isfinite(scaled)) v.push_back(scaled);
    }
    return v;
}

std::vector<float> randomFloats(std::size_t count, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> sample(-40000.0f, 40000.0f);
    std::uniform_int_distribution<int> pick(0, 3);
    std::vector<float> v(count);
    for (float& f : v) {
        f = sample(rng);
        if (pick(rng) == 0) f = std::floor(f) + 0.5f; // a tie
    }
    return v;
}

constexpr int kModes[] = {0, 1, 2, -1};
constexpr int kFactors[] = {0, -15, 15, -1, 3, -127, 126, 127, -128, 300, -301};

TEST(Pcm16Conversions, FloatTo16MatchesTheExactReferenceInEveryModeAndScale) {
    for (int factor : kFactors) {
        const std::vector<float> src = edgesScaledFor(-factor);
        for (int mode : kModes) {
            std::vector<std::int16_t> out(src.size());
            ASSERT_EQ(
                sigConvertScaled_32f16s(src.data(), out.data(), int(src.size()), mode, factor),
                sigOk);
            for (std::size_t i = 0; i < src.size(); ++i) {
                ASSERT_EQ(out[i], reference16(src[i], mode, factor))
                    << "value " << src[i] << " mode " << mode << " factor " << factor;
            }
        }
    }
}

// The nearest modes must not follow the caller's rounding mode (nor the
// truncation), whichever loop serves the factor.
TEST(Pcm16Conversions, FloatTo16IgnoresTheCallersRoundingMode) {
    const std::vector<float> src = randomFloats(203, 5);
    for (int roundingMode : testkit::kRoundingModes) {
        for (int factor : {0, -15, 400}) {
            for (int mode : kModes) {
                std::vector<std::int16_t> out(src.size());
                {
                    testkit::FenvGuard guard(roundingMode);
                    sigConvertScaled_32f16s(src.data(), out.data(), int(src.size()), mode, factor);
                }
                for (std::size_t i = 0; i < src.size(); ++i)
                    ASSERT_EQ(out[i], reference16(src[i], mode, factor)) << src[i];
            }
        }
    }
}

// Odd lengths and starts 4 bytes off every vector alignment, with nothing
// written around the output.
TEST(Pcm16Conversions, FloatTo16HandlesEveryLengthAndAlignment) {
    const std::vector<float> values = randomFloats(80, 9);
    for (std::size_t misalign : {0u, 4u, 8u, 12u, 20u}) {
        for (int len = 1; len <= 70; len += 3) {
            testkit::GuardedBuffer<float> src(std::size_t(len), misalign);
            testkit::GuardedBuffer<std::int16_t> dst(std::size_t(len), misalign / 2);
            for (int i = 0; i < len; ++i) src.set(std::size_t(i), values[std::size_t(i)]);
            ASSERT_EQ(sigConvertScaled_32f16s(src.data(), dst.data(), len, 1, -8), sigOk);
            ASSERT_TRUE(dst.guardsIntact()) << "length " << len;
            for (int i = 0; i < len; ++i)
                ASSERT_EQ(dst.get(std::size_t(i)), reference16(values[std::size_t(i)], 1, -8));
        }
    }
}

TEST(Pcm16Conversions, SixteenBitToFloatIsExactForEveryScaleAndAlignment) {
    std::vector<std::int16_t> values;
    for (int s : {-32768, -32767, -1, 0, 1, 12345, 32767}) values.push_back(std::int16_t(s));
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    while (values.size() < 67) values.push_back(std::int16_t(sample(rng)));
    for (int factor : {0, 15, -15, 126, 127, -112, -113, 1000}) {
        for (std::size_t misalign : {0u, 2u, 6u}) {
            testkit::GuardedBuffer<std::int16_t> src(values.size(), misalign);
            testkit::GuardedBuffer<float> dst(values.size(), 2 * misalign);
            for (std::size_t i = 0; i < values.size(); ++i) src.set(i, values[i]);
            ASSERT_EQ(sigConvertScaled_16s32f(src.data(), dst.data(), int(values.size()), factor),
                      sigOk);
            ASSERT_TRUE(dst.guardsIntact());
            for (std::size_t i = 0; i < values.size(); ++i) {
                ASSERT_EQ(testkit::bitsOf(dst.get(i)),
                          testkit::bitsOf(reference16ToFloat(values[i], factor)))
                    << values[i] << " factor " << factor;
            }
        }
    }
}

// The set is raised at load time; were that step lost, the entry points
// would quietly keep to the baseline builds.
TEST(Pcm16Conversions, TheLoopsRunTheWidestBuildTheMachineHas) {
    EXPECT_EQ(sigWideIsaOfMachine(), sigWideIsaProbe());
    EXPECT_TRUE(sigWideIsaSupported(sigWideIsaProbe()));
}

// The baseline build, which the entry points do not run on a machine with
// wider sets, against the reference.
TEST(Pcm16Conversions, BaselineBuildMatchesTheExactReference) {
    std::vector<float> src = randomFloats(300, 23);
    src.insert(src.end(), kEdges.begin(), kEdges.end());
    const int modes[] = {0, 1, 2};
    const sigWideVariants<sigTo16sLoop>* loops[] = {&sigTo16sTowardZero, &sigTo16sNearestEven,
                                                    &sigTo16sNearestAway};
    for (int k = 0; k < 3; ++k) {
        for (int factor : {0, -15, 8, -127, 126}) {
            std::vector<std::int16_t> out(src.size());
            loops[k]->baseline(src.data(), out.data(), int(src.size()), std::ldexp(1.0f, -factor));
            for (std::size_t i = 0; i < src.size(); ++i)
                ASSERT_EQ(out[i], reference16(src[i], modes[k], factor)) << src[i];
        }
    }
}

// Every instruction set's build of every loop against the baseline build, bit
// for bit, on random data with the edges mixed in. A set this machine lacks
// is skipped.
TEST(Pcm16Conversions, EveryWiderBuildGivesTheBaselinesBits) {
    std::vector<float> floats = randomFloats(1000, 17);
    floats.insert(floats.begin() + 100, kEdges.begin(), kEdges.end());
    std::vector<std::int16_t> pcm(floats.size());
    std::mt19937 rng(19);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    for (auto& s : pcm) s = std::int16_t(sample(rng));
    const int len = int(floats.size()) - 3; // leaves a tail in every width
    const float multipliers[] = {1.0f, 32768.0f, 1.0f / 256.0f, std::ldexp(1.0f, 127)};

    for (sigWideIsa isa : {sigWideIsa::avx2, sigWideIsa::avx512}) {
        if (!sigWideIsaSupported(isa)) continue;
        for (const auto* loop : {&sigTo16sTowardZero, &sigTo16sNearestEven, &sigTo16sNearestAway}) {
            for (float m : multipliers) {
                std::vector<std::int16_t> expected(floats.size()), actual(floats.size());
                loop->baseline(floats.data(), expected.data(), len, m);
                loop->of(isa)(floats.data(), actual.data(), len, m);
                ASSERT_EQ(actual, expected) << "set " << int(isa) << " multiplier " << m;
            }
        }
        for (float m : multipliers) {
            std::vector<float> expected(pcm.size()), actual(pcm.size());
            sigFrom16sScaled.baseline(pcm.data(), expected.data(), len, m);
            sigFrom16sScaled.of(isa)(pcm.data(), actual.data(), len, m);
            for (int i = 0; i < len; ++i)
                ASSERT_EQ(testkit::bitsOf(actual[i]), testkit::bitsOf(expected[i])) << i;
        }
    }
}

} // namespace
