#include "driver/effects/db_gain.h"
#include "driver/effects/fast_sqrt.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

double Db(double ratio) { return 20.0 * std::log10(ratio); }

// Over the whole useful range, every 0.01 dB: within half a table step.
TEST(GainFromDb, StaysWithinHalfATableStepOfThePower) {
    for (int centiDb = -12000; centiDb <= 12000; ++centiDb) {
        const float x = static_cast<float>(centiDb / 100.0 / 20.0);
        const double exact = std::pow(10.0, double(x));
        const float gain = GainFromDb(10.0f, x);
        ASSERT_NEAR(Db(gain / exact), 0.0, 0.05 + 1e-6) << "dB " << centiDb / 100.0;
    }
}

TEST(GainFromDb, BaseTwoHasAnExactIntegerPart) {
    for (int step = -6000; step <= 6000; ++step) {
        const float x = static_cast<float>(step) / 200.0f;
        const double exact = std::pow(2.0, step / 200.0);
        ASSERT_NEAR(GainFromDb(2.0f, x) / exact, 1.0, 2e-7) << x;
    }
    for (int n = -30; n <= 30; ++n) EXPECT_EQ(GainFromDb(2.0f, float(n)), std::ldexp(1.0f, n));
}

TEST(GainFromDb, KnownValuesAndRefusals) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        float base, x, expected, tolerance;
    };
    const Case cases[] = {
        {"-10 dB", 10, -0.5f, 0.31622776f, 1e-7f},
        {"+20 dB", 10, 1.0f, 10.0f, 0.0f},
        {"-20 dB", 10, -1.0f, 0.1f, 0.0f},
        {"0 dB", 10, 0.0f, 1.0f, 0.0f},
        {"-60 dB", 10, -3.0f, 0.001f, 0.0f},
        {"NaN exponent", 10, nan, 0.0f, 0.0f},
        {"NaN exponent, base 2", 2, nan, 0.0f, 0.0f},
        {"huge exponent saturates", 10, 1e30f, FLT_MAX, 0.0f},
        {"+inf saturates", 10, inf, FLT_MAX, 0.0f},
        {"-inf gives the smallest", 10, -inf, 0.0f, 1e-38f},
        {"base 3", 3, 1.0f, 0.0f, 0.0f},
        {"base 0", 0, 1.0f, 0.0f, 0.0f},
        {"base NaN", nan, 1.0f, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(GainFromDb(c.base, c.x), c.expected, c.tolerance);
    }
}

TEST(FastSqrt, StaysWithinItsInterpolationError) {
    // Every 2^12-th float from 2^-60 to 2^60: both exponent parities, every segment.
    const std::uint32_t first = std::bit_cast<std::uint32_t>(0x1p-60f);
    const std::uint32_t last = std::bit_cast<std::uint32_t>(0x1p60f);
    for (std::uint32_t bits = first; bits <= last; bits += 4096) {
        const float x = std::bit_cast<float>(bits);
        const double exact = std::sqrt(double(x));
        ASSERT_NEAR(FastSqrt(x) / exact, 1.0, 4e-5) << x;
    }
}

TEST(FastSqrt, KnownValuesAndEdges) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        float x, expected, tolerance;
    };
    const Case cases[] = {
        {"four", 4.0f, 2.0f, 0.0f},
        {"two", 2.0f, 1.4142135f, 0.0f},
        {"one", 1.0f, 1.0f, 0.0f},
        {"a quarter", 0.25f, 0.5f, 0.0f},
        {"an eighth", 0.125f, 0.35355338f, 1e-7f},
        {"zero", 0.0f, 0.0f, 0.0f},
        {"negative", -4.0f, 0.0f, 0.0f},
        {"NaN", nan, 0.0f, 0.0f},
        {"subnormal", 0x1p-140f, 0x1p-70f, 0x1p-70f * 4e-5f},
        {"largest", FLT_MAX, 1.8446743e19f, 1.8446743e19f * 4e-5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(FastSqrt(c.x), c.expected, c.tolerance);
    }
    EXPECT_EQ(FastSqrt(inf), inf);
}

} // namespace
