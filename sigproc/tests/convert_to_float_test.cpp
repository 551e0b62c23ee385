#include "sigproc/sigproc.h"
#include "testkit/fenv_guard.h"
#include "testkit/float_bits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

using testkit::bitsOf;

std::vector<float> from16(std::vector<std::int16_t> src, int factor) {
    std::vector<float> out(src.size());
    EXPECT_EQ(sigConvertScaled_16s32f(src.data(), out.data(), int(src.size()), factor), sigOk);
    return out;
}

std::vector<float> from32(std::vector<std::int32_t> src, int factor) {
    std::vector<float> out(src.size());
    EXPECT_EQ(sigConvertScaled_32s32f(src.data(), out.data(), int(src.size()), factor), sigOk);
    return out;
}

std::vector<float> from32Unscaled(std::vector<std::int32_t> src) {
    std::vector<float> out(src.size());
    EXPECT_EQ(sigConvert_32s32f(src.data(), out.data(), int(src.size())), sigOk);
    return out;
}

using VF = std::vector<float>;

TEST(PcmToFloat, SixteenBitScaling) {
    EXPECT_EQ(from16({32767, -32768, 16384}, 15), (VF{0.999969482421875f, -1.0f, 0.5f}));
    // Factors beyond the clamp act as the clamp: 126 and -112.
    EXPECT_EQ(from16({1}, 200), VF{0x1p-126f});
    EXPECT_EQ(from16({1}, -200), VF{0x1p112f});
    EXPECT_EQ(from16({-32768}, INT32_MIN), VF{-0x1p127f});
    EXPECT_EQ(from16({3, -3}, 0), (VF{3.0f, -3.0f}));
}

TEST(PcmToFloat, ThirtyTwoBitScalingRoundsOnce) {
    EXPECT_EQ(from32({INT32_MAX, INT32_MIN}, 31), (VF{1.0f, -1.0f}));
    EXPECT_EQ(from32({INT32_MAX}, -500), VF{0x1p127f});
    EXPECT_EQ(from32({1}, INT32_MAX), VF{0x1p-126f});
    const std::vector<std::int32_t> ties{16777217, 16777219, -1};
    EXPECT_EQ(from32(ties, 0), (VF{16777216.0f, 16777220.0f, -1.0f}));
    EXPECT_EQ(from32Unscaled(ties), (VF{16777216.0f, 16777220.0f, -1.0f}));
}

TEST(PcmToFloat, ThirtyTwoBitFollowsTheCallersRoundingMode) {
    {
        testkit::FenvGuard up(FE_UPWARD);
        EXPECT_EQ(from32Unscaled({16777217}), VF{16777218.0f});
        EXPECT_EQ(from32({INT32_MAX}, 31), VF{1.0f});
    }
    {
        testkit::FenvGuard down(FE_DOWNWARD);
        EXPECT_EQ(from32Unscaled({16777217}), VF{16777216.0f});
        EXPECT_EQ(from32({INT32_MAX}, 31), VF{0x1.fffffep-1f});
    }
}

TEST(PcmToFloat, PackedTwentyFourBit) {
    const std::vector<unsigned char> bytes{0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80,
                                           0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00};
    VF out(4);
    ASSERT_EQ(sigConvert_24s32f(bytes.data(), out.data(), 4), sigOk);
    EXPECT_EQ(out, (VF{8388607.0f, -8388608.0f, -1.0f, 1.0f}));
}

TEST(PcmToFloat, ThirtyTwoBitInPlaceEqualsSeparateBuffers) {
    std::mt19937 rng(7);
    std::vector<std::int32_t> samples(1001);
    for (auto& s : samples) s = static_cast<std::int32_t>(rng());
    for (int factor : {0, 31, -7}) {
        const VF separate = factor == 0 ? from32Unscaled(samples) : from32(samples, factor);
        std::vector<std::int32_t> inPlace = samples;
        auto* dst = reinterpret_cast<float*>(inPlace.data());
        if (factor == 0)
            ASSERT_EQ(sigConvert_32s32f(inPlace.data(), dst, int(inPlace.size())), sigOk);
        else
            ASSERT_EQ(sigConvertScaled_32s32f(inPlace.data(), dst, int(inPlace.size()), factor),
                      sigOk);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            float got;
            std::memcpy(&got, &inPlace[i], 4);
            ASSERT_EQ(bitsOf(got), bitsOf(separate[i])) << i;
        }
    }
}

TEST(PcmToFloat, MatchesAnIndependentFormulation) {
    std::mt19937 rng(11);
    std::vector<std::int32_t> samples(5000);
    for (auto& s : samples) s = static_cast<std::int32_t>(rng());
    for (int factor : {1, 31, 126, -96, -5}) {
        const VF got = from32(samples, factor);
        for (std::size_t i = 0; i < samples.size(); ++i)
            ASSERT_EQ(got[i], static_cast<float>(std::ldexp(double(samples[i]), -factor)));
    }
}

} // namespace
