#include "sigproc/sigproc.h"
#include "sigproc/vector/convert.h"
#include "testkit/fenv_guard.h"
#include "testkit/float_bits.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

using testkit::floatOf;

constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = floatOf(0x7FC00000u);

std::vector<std::int16_t> to16(std::vector<float> src, int mode, int factor) {
    std::vector<std::int16_t> out(src.size());
    EXPECT_EQ(sigConvertScaled_32f16s(src.data(), out.data(), int(src.size()), mode, factor),
              sigOk);
    return out;
}

std::vector<std::int32_t> to32(std::vector<float> src, int mode, int factor) {
    std::vector<std::int32_t> out(src.size());
    EXPECT_EQ(sigConvertScaled_32f32s(src.data(), out.data(), int(src.size()), mode, factor),
              sigOk);
    return out;
}

std::vector<std::int32_t> to24(std::vector<float> src, int factor) {
    std::vector<unsigned char> bytes(3 * src.size());
    EXPECT_EQ(sigConvertScaled_32f24s(src.data(), bytes.data(), int(src.size()), factor), sigOk);
    std::vector<std::int32_t> out;
    for (std::size_t i = 0; i < src.size(); ++i) {
        const std::uint32_t v =
            bytes[3 * i] | bytes[3 * i + 1] << 8 | std::uint32_t(bytes[3 * i + 2]) << 16;
        out.push_back(static_cast<std::int32_t>(v << 8) >> 8);
    }
    return out;
}

using V16 = std::vector<std::int16_t>;
using V32 = std::vector<std::int32_t>;

TEST(FloatTo16, TowardZeroTruncatesAndSaturates) {
    EXPECT_EQ(to16({1.9f, -1.9f, 40000.0f, -40000.0f, kInf, -kInf, kNaN, -0.0f}, 0, 0),
              (V16{1, -1, 32767, -32768, 32767, -32768, 0, 0}));
}

TEST(FloatTo16, NearestEvenBreaksTiesToEven) {
    EXPECT_EQ(
        to16({0.5f, 1.5f, 2.5f, -0.5f, -1.5f, -2.5f, 32766.5f, -32767.5f, 0.49999997f, kNaN}, 1, 0),
        (V16{0, 2, 2, 0, -2, -2, 32766, -32768, 0, 0}));
}

TEST(FloatTo16, OtherModesBreakTiesAwayFromZero) {
    for (int mode : {2, -1, 77}) {
        EXPECT_EQ(to16({0.5f, 2.5f, -2.5f, 0.49999997f, kNaN, 32767.0f, -32768.0f}, mode, 0),
                  (V16{1, 3, -3, 0, 0, 32767, -32768}))
            << "mode " << mode;
    }
}

TEST(FloatTo32, NaNAndSaturationPerMode) {
    EXPECT_EQ(to32({kNaN}, 0, 0), V32{0});
    EXPECT_EQ(to32({kNaN}, 1, 0), V32{0});
    EXPECT_EQ(to32({kNaN}, 2, 0), V32{INT32_MIN});
    for (int mode : {0, 1, 2}) {
        EXPECT_EQ(to32({2147483520.0f, 2147483648.0f, -2147483648.0f, -kInf, 1e30f}, mode, 0),
                  (V32{2147483520, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX}))
            << "mode " << mode;
    }
}

TEST(FloatToPcm, DriverRenderSettings) {
    EXPECT_EQ(to16({1.0f, -1.0f, 0.5f}, 0, -15), (V16{32767, -32768, 16384}));
    EXPECT_EQ(to32({1.0f, -1.0f}, 0, -31), (V32{INT32_MAX, INT32_MIN}));

    std::vector<float> src{1.0f, -1.0f, 0.5f};
    std::vector<unsigned char> bytes(9);
    ASSERT_EQ(sigConvertScaled_32f24s(src.data(), bytes.data(), 3, -23), sigOk);
    EXPECT_EQ(bytes,
              (std::vector<unsigned char>{0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x00, 0x00, 0x40}));
}

TEST(FloatToPcm, ScaleFactorExtremes) {
    EXPECT_EQ(to16({1048576.0f}, 0, 20), V16{1});
    EXPECT_EQ(to16({4096.0f}, 0, -3), V16{32767});
    // Unclamped factors: the extended multiplier still scales exactly.
    EXPECT_EQ(to32({1.0f}, 0, -30), V32{1 << 30});
    EXPECT_EQ(to32({0x1p100f}, 1, 100), V32{1});
    EXPECT_EQ(to32({0x1p-140f}, 1, -140), V32{1});
    EXPECT_EQ(to16({1.0f, -1.0f}, 1, INT32_MIN), (V16{32767, -32768}));
    EXPECT_EQ(to16({3e38f, -3e38f}, 2, INT32_MAX), (V16{0, 0}));
    // The 24-bit form clamps its factor to [-127, 127]; 127 gives +0.0 as multiplier.
    EXPECT_EQ(to24({1.0f, -3e38f, 123.0f}, 127), (V32{0, 0, 0}));
    EXPECT_EQ(to24({1.0f, -5.0f}, 1000), (V32{0, 0}));
    EXPECT_EQ(to24({1.0f, 0x1p-127f}, -1000), (V32{8388607, 1}));
    EXPECT_EQ(to24({2.5f, 3.5f, -2.5f, kNaN, kInf}, 0), (V32{2, 4, -2, 0, 8388607}));
}

TEST(FloatToPcm, NegativeZeroGivesZeroEverywhere) {
    for (int mode : {0, 1, 2}) {
        EXPECT_EQ(to16({-0.0f}, mode, 0), V16{0});
        EXPECT_EQ(to32({-0.0f}, mode, -31), V32{0});
    }
    EXPECT_EQ(to24({-0.0f}, -23), V32{0});
}

// An independent formulation in double: exact for the factors used here.
std::int64_t reference(float x, int mode, int factor, std::int64_t lo, std::int64_t hi) {
    const double y = std::ldexp(double(x), -factor);
    if (std::isnan(y)) return mode == 0 || mode == 1 ? 0 : INT32_MIN;
    double r;
    if (mode == 0)
        r = std::trunc(y);
    else if (mode == 1)
        r = std::nearbyint(y); // the default mode: ties to even
    else
        r = std::round(y);
    return r > double(hi) ? hi : (r < double(lo) ? lo : std::int64_t(r));
}

std::vector<float> randomFloats(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<float> v;
    std::uniform_real_distribution<float> audio(-1.25f, 1.25f);
    std::uniform_int_distribution<std::uint32_t> anyBits;
    std::uniform_int_distribution<int> halfSteps(-140000, 140000);
    for (std::size_t i = 0; i < n; ++i) {
        switch (i % 4) {
        case 0:
            v.push_back(audio(rng));
            break;
        case 1:
            v.push_back(floatOf(anyBits(rng)));
            break; // every class of float
        case 2:
            v.push_back(float(halfSteps(rng)) * 0.5f);
            break; // exact ties
        default:
            v.push_back(float(halfSteps(rng)) * 0.25f);
            break; // near ties
        }
    }
    return v;
}

TEST(FloatToPcm, MatchesAnIndependentFormulationOnRandomData) {
    const std::vector<float> src = randomFloats(20000, 1234);
    for (int factor : {0, -15, -23, -31, 3, -3, 17}) {
        for (int mode : {0, 1, 2}) {
            const V16 got16 = to16(src, mode, factor);
            const V32 got32 = to32(src, mode, factor);
            for (std::size_t i = 0; i < src.size(); ++i) {
                const std::int64_t ref32 = reference(src[i], mode, factor, INT32_MIN, INT32_MAX);
                ASSERT_EQ(got32[i], ref32)
                    << "x=" << src[i] << " mode " << mode << " factor " << factor;
                const std::int64_t ref16 = (mode >= 2 && std::isnan(src[i]))
                                               ? 0
                                               : reference(src[i], mode, factor, -32768, 32767);
                ASSERT_EQ(got16[i], ref16)
                    << "x=" << src[i] << " mode " << mode << " factor " << factor;
            }
        }
        const V32 got24 = to24(src, factor);
        for (std::size_t i = 0; i < src.size(); ++i)
            ASSERT_EQ(got24[i], reference(src[i], 1, factor, -8388608, 8388607)) << "x=" << src[i];
    }
}

TEST(FloatToPcm, CallersRoundingModeChangesNothingAndIsKept) {
    const std::vector<float> src = randomFloats(4000, 99);
    const V16 ref16 = to16(src, 1, -15);
    const V32 ref32a = to32(src, 2, -31);
    const V32 ref32b = to32(src, 0, 3);
    const V32 ref24 = to24(src, -23);
    for (int rounding : testkit::kRoundingModes) {
        testkit::FenvGuard guard(rounding);
        EXPECT_EQ(to16(src, 1, -15), ref16);
        EXPECT_EQ(to32(src, 2, -31), ref32a);
        EXPECT_EQ(to32(src, 0, 3), ref32b);
        EXPECT_EQ(to24(src, -23), ref24);
        EXPECT_EQ(std::fegetround(), rounding);
    }
}

TEST(TruncToInt32, OutOfRangeAndNaNGiveIntegerIndefinite) {
    EXPECT_EQ(sigTruncToInt32(2147483647.9L), INT32_MAX);
    EXPECT_EQ(sigTruncToInt32(-2147483648.9L), INT32_MIN);
    EXPECT_EQ(sigTruncToInt32(2147483648.0L), INT32_MIN);
    EXPECT_EQ(sigTruncToInt32(-2147483649.0L), INT32_MIN);
    EXPECT_EQ(sigTruncToInt32(std::numeric_limits<long double>::quiet_NaN()), INT32_MIN);
    EXPECT_EQ(sigTruncToInt32(-7.99L), -7);
}

} // namespace
