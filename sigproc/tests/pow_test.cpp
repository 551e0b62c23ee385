#include "sigproc/core/fp_control.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/pow_tables.h"
#include "testkit/fenv_guard.h"
#include "testkit/float_bits.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

using testkit::bitsOf;
using testkit::floatOf;
using testkit::kCreatedNanBits;

constexpr float kInf = testkit::kInfinity;
constexpr float kNaN = testkit::kQuietNan;

struct PowCase {
    float x;
    float y;
    std::uint32_t expected; // bits; any NaN when kAnyNan
    int status;
};
constexpr std::uint32_t kAnyNan = 0x7FFFFFFFu;

std::uint32_t b(float f) { return bitsOf(f); }

// Every edge of the domain, with both signs of zeros and infinities.
std::vector<PowCase> specialCases() {
    const int warn = sigWarnDomain;
    return {
        // A zero exponent gives 1 whatever the base.
        {kNaN, 0.0f, b(1.0f), 0},
        {kNaN, -0.0f, b(1.0f), 0},
        {-kInf, 0.0f, b(1.0f), 0},
        {-0.0f, -0.0f, b(1.0f), 0},
        {0.0f, 0.0f, b(1.0f), 0},
        {-2.0f, 0.0f, b(1.0f), 0},
        // A base of +1 gives 1 whatever the exponent.
        {1.0f, kNaN, b(1.0f), 0},
        {1.0f, kInf, b(1.0f), 0},
        {1.0f, -kInf, b(1.0f), 0},
        {1.0f, 2.5f, b(1.0f), 0},
        // NaN in, NaN out, without a warning.
        {kNaN, 2.0f, kAnyNan, 0},
        {2.0f, kNaN, kAnyNan, 0},
        {-1.0f, kNaN, kAnyNan, 0},
        {0.0f, kNaN, kAnyNan, 0},
        // Zero bases.
        {0.0f, 3.0f, b(0.0f), 0},
        {-0.0f, 3.0f, b(-0.0f), 0},
        {-0.0f, 2.0f, b(0.0f), 0},
        {0.0f, 0.5f, b(0.0f), 0},
        {-0.0f, 0.5f, b(0.0f), 0},
        {-0.0f, kInf, b(0.0f), 0},
        {0.0f, -1.0f, b(kInf), warn},
        {-0.0f, -1.0f, b(-kInf), warn},
        {-0.0f, -2.0f, b(kInf), warn},
        {0.0f, -kInf, b(kInf), warn},
        {-0.0f, -0.5f, b(kInf), warn},
        // A base of -1.
        {-1.0f, 3.0f, b(-1.0f), 0},
        {-1.0f, -1.0f, b(-1.0f), 0},
        {-1.0f, 4.0f, b(1.0f), 0},
        {-1.0f, kInf, b(1.0f), 0},
        {-1.0f, -kInf, b(1.0f), 0},
        {-1.0f, 0.5f, kCreatedNanBits, warn},
        // Bases inside (-1, 1) with infinite exponents.
        {0.5f, kInf, b(0.0f), 0},
        {-0.5f, kInf, b(0.0f), 0},
        {0.5f, -kInf, b(kInf), 0},
        {-0.5f, -kInf, b(kInf), 0},
        // Bases beyond +-1 with an infinity on either side.
        {2.0f, -kInf, b(0.0f), 0},
        {-2.0f, -kInf, b(0.0f), 0},
        {2.0f, kInf, b(kInf), 0},
        {-2.0f, kInf, b(kInf), 0},
        {kInf, -1.0f, b(0.0f), 0},
        {kInf, 0.5f, b(kInf), 0},
        {-kInf, 3.0f, b(-kInf), 0},
        {-kInf, 2.0f, b(kInf), 0},
        {-kInf, -3.0f, b(-0.0f), 0},
        {-kInf, -2.0f, b(0.0f), 0},
        {-kInf, 0.5f, b(kInf), 0},
        {-kInf, -0.5f, b(0.0f), 0},
        // Negative finite bases with non-integer exponents.
        {-8.0f, 1.0f / 3.0f, kCreatedNanBits, warn},
        {-2.0f, -2.5f, kCreatedNanBits, warn},
        // Finite bases beyond +-1 take the main path, exact where the value is.
        {2.0f, 10.0f, b(1024.0f), 0},
        {-2.0f, 3.0f, b(-8.0f), 0},
        {-2.0f, 2.0f, b(4.0f), 0},
        {2.0f, -149.0f, 0x00000001u, 0},
        {0.5f, 3.0f, b(0.125f), 0},
        // Single-precision overflow and underflow carry no status.
        {10.0f, 39.0f, b(kInf), 0},
        {-10.0f, 39.0f, b(-kInf), 0},
        {10.0f, -46.0f, b(0.0f), 0},
        {-10.0f, -47.0f, b(-0.0f), 0},
        {2.0f, -150.0f, b(0.0f), 0},
        {3.0f, 1e30f, b(kInf), 0},
        {3.0f, -1e30f, b(0.0f), 0},
        {0.5f, 1e30f, b(0.0f), 0},
        // A product y * log2 x below 2^-60 gives 1 exactly.
        {3.0f, 1e-30f, b(1.0f), 0},
        {3.0f, -1e-30f, b(1.0f), 0},
    };
}

void expectElement(const PowCase& c, float got) {
    if (c.expected == kAnyNan)
        EXPECT_TRUE(std::isnan(got)) << c.x << " ^ " << c.y;
    else
        EXPECT_EQ(bitsOf(got), c.expected) << c.x << " ^ " << c.y << " gave " << got;
}

TEST(Pow, EverySpecialValueOneByOneWithItsStatus) {
    for (const PowCase& c : specialCases()) {
        float out = 123.0f;
        EXPECT_EQ(sigPow_32f(&c.x, &c.y, &out, 1), c.status) << c.x << " ^ " << c.y;
        expectElement(c, out);
    }
}

TEST(Pow, DomainElementsWarnButTheRestIsStillComputed) {
    const std::vector<PowCase> cases = specialCases();
    std::vector<float> x, y;
    for (const PowCase& c : cases) {
        x.push_back(c.x);
        y.push_back(c.y);
    }
    std::vector<float> out(cases.size());
    EXPECT_EQ(sigPow_32f(x.data(), y.data(), out.data(), int(out.size())), sigWarnDomain);
    for (std::size_t i = 0; i < cases.size(); ++i) expectElement(cases[i], out[i]);

    const float bases[] = {2.0f, 3.0f, 4.0f};
    const float exps[] = {3.0f, 2.0f, 0.5f};
    float plain[3];
    EXPECT_EQ(sigPow_32f(bases, exps, plain, 3), sigOk);
    EXPECT_EQ(plain[0], 8.0f);
    EXPECT_EQ(plain[1], 9.0f);
    EXPECT_EQ(plain[2], 2.0f);
}

TEST(Pow, DomainElementRaisesTheInvalidFlag) {
    testkit::FenvGuard guard;
    std::feclearexcept(FE_ALL_EXCEPT);
    const float x[] = {4.0f, 10.0f};
    const float y[] = {0.5f, -0.25f};
    float out[2];
    EXPECT_EQ(sigPow_32f(x, y, out, 2), sigOk);
    EXPECT_FALSE(std::fetestexcept(FE_INVALID));
    const float bad = -8.0f, third = 1.0f / 3.0f;
    EXPECT_EQ(sigPow_32f(&bad, &third, out, 1), sigWarnDomain);
    EXPECT_TRUE(std::fetestexcept(FE_INVALID));
}

TEST(Pow, LengthIsCheckedBeforeThePointersAndNothingIsWritten) {
    testkit::GuardedBuffer<float> a(4), c(4);
    EXPECT_EQ(sigPow_32f(nullptr, nullptr, nullptr, 0), sigErrLength);
    EXPECT_EQ(sigPow_32f(nullptr, a.data(), c.data(), -3), sigErrLength);
    EXPECT_EQ(sigPow_32f(nullptr, a.data(), c.data(), 4), sigErrNullPtr);
    EXPECT_EQ(sigPow_32f(a.data(), nullptr, c.data(), 4), sigErrNullPtr);
    EXPECT_EQ(sigPow_32f(a.data(), a.data(), nullptr, 4), sigErrNullPtr);
    EXPECT_TRUE(c.unchanged());
    EXPECT_TRUE(a.unchanged());
}

// Random bases over the whole positive range and exponents that keep the
// result mostly finite, against the 64-bit-significand pow rounded to float.
TEST(Pow, WithinOneUlpOfAWiderReference) {
    std::mt19937 rng(2024);
    constexpr int kCount = 200000;
    std::vector<float> x(kCount), y(kCount), out(kCount);
    for (int i = 0; i < kCount; ++i) {
        float base = floatOf(rng() & 0x7F7FFFFFu);
        if (base == 0.0f || base == 1.0f) base = 3.0f;
        if (i % 4 == 0) base = -base; // negative bases with integer exponents
        const double range = 150.0 / std::max(1e-3, std::fabs(std::log2(std::fabs(double(base)))));
        std::uniform_real_distribution<double> exponent(-range, range);
        float e = float(exponent(rng));
        if (base < 0.0f) e = std::nearbyint(e);
        x[std::size_t(i)] = base;
        y[std::size_t(i)] = e;
    }
    ASSERT_EQ(sigPow_32f(x.data(), y.data(), out.data(), kCount), sigOk);
    int worse = 0;
    for (std::size_t i = 0; i < std::size_t(kCount); ++i) {
        const float want =
            float(std::pow(static_cast<long double>(x[i]), static_cast<long double>(y[i])));
        if (testkit::ulpDistance(out[i], want) > 1) {
            if (++worse < 5)
                ADD_FAILURE() << x[i] << " ^ " << y[i] << " = " << out[i] << ", want " << want;
        }
    }
    EXPECT_EQ(worse, 0);
}

// The driver's gains: 10 ^ (level / 1310720) for levels in 16.16 decibels.
TEST(Pow, DecibelGainsAsTheDriverFormsThem) {
    std::vector<std::int32_t> levels;
    for (std::int32_t db = -96; db <= 12; ++db) levels.push_back(db * 65536 + (db % 3) * 16384);
    const int n = int(levels.size());
    std::vector<float> exps(levels.size()), tens(levels.size(), 10.0f), gains(levels.size());
    ASSERT_EQ(sigConvert_32s32f(levels.data(), exps.data(), n), sigOk);
    ASSERT_EQ(sigDivConstInPlace_32f(1310720.0f, exps.data(), n), sigOk);
    ASSERT_EQ(sigPow_32f(tens.data(), exps.data(), gains.data(), n), sigOk);
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const float want = float(std::pow(10.0L, static_cast<long double>(exps[i])));
        EXPECT_LE(testkit::ulpDistance(gains[i], want), 1u) << levels[i];
    }
    const std::int32_t zero = 0;
    float e, gain;
    sigConvert_32s32f(&zero, &e, 1);
    sigDivConstInPlace_32f(1310720.0f, &e, 1);
    const float ten = 10.0f;
    EXPECT_EQ(sigPow_32f(&ten, &e, &gain, 1), sigOk);
    EXPECT_EQ(bitsOf(gain), bitsOf(1.0f));
}

TEST(Pow, OutputMayBeEitherInput) {
    std::vector<float> x{2.0f, 10.0f, 0.3f, -3.0f, 7.5f}, y{0.5f, -1.5f, 3.25f, 3.0f, -0.01f};
    std::vector<float> separate(5);
    ASSERT_EQ(sigPow_32f(x.data(), y.data(), separate.data(), 5), sigOk);
    std::vector<float> intoX = x, intoY = y;
    ASSERT_EQ(sigPow_32f(intoX.data(), y.data(), intoX.data(), 5), sigOk);
    ASSERT_EQ(sigPow_32f(x.data(), intoY.data(), intoY.data(), 5), sigOk);
    EXPECT_EQ(intoX, separate);
    EXPECT_EQ(intoY, separate);
}

// Whatever the caller's rounding mode and denormal handling, the results are
// those of round-to-nearest, and the caller's settings are back afterwards.
TEST(Pow, CallersRoundingAndDenormalSettingsDoNotChangeResultsAndAreRestored) {
    std::vector<float> x{10.0f, 3.0f, 0.7f, 2.0f, 1.5f, 10.0f},
        y{-0.3f, 1.7f, 11.1f, -140.5f, -300.0f, 0.05f};
    std::vector<float> nearest(x.size()), got(x.size());
    ASSERT_EQ(sigPow_32f(x.data(), y.data(), nearest.data(), int(x.size())), sigOk);
    EXPECT_EQ(bitsOf(nearest[3]) & 0x7F800000u, 0u) << "a subnormal result";
    EXPECT_NE(bitsOf(nearest[3]), 0u);

    for (int mode : testkit::kRoundingModes) {
        for (std::uint32_t extra : {0u, sigMxcsrFlushToZero | sigMxcsrDenormalsAreZero}) {
            testkit::FenvGuard guard(mode);
            sigFpSetMxcsr(extra, sigMxcsrFlushToZero | sigMxcsrDenormalsAreZero);
            const std::uint32_t before = sigFpGetMxcsr() & ~sigMxcsrFlags;
            ASSERT_EQ(sigPow_32f(x.data(), y.data(), got.data(), int(x.size())), sigOk);
            EXPECT_EQ(sigFpGetMxcsr() & ~sigMxcsrFlags, before);
            EXPECT_EQ(std::fegetround(), mode);
            for (std::size_t i = 0; i < x.size(); ++i)
                EXPECT_EQ(bitsOf(got[i]), bitsOf(nearest[i]))
                    << "mode " << mode << " element " << i;
        }
    }
}

// The tables follow their defining rules: reciprocals on their grids, and
// logarithms and powers of two that agree with an independent evaluation.
TEST(PowTables, FollowTheirDefiningRules) {
    const double cr = double(sigPowCrNumerator) / 4194304.0;
    EXPECT_EQ(sigPowT1[0], 1.0);
    EXPECT_EQ(sigPowT1[32], 0.5);
    EXPECT_EQ(sigPowT2[0], 1.0);
    EXPECT_EQ(sigPowT2[32], 1.0);
    EXPECT_EQ(sigPowT3[0], cr);
    EXPECT_EQ(sigPowT3[128], cr);
    EXPECT_EQ(sigPowL3[0].hi, 0.0);
    EXPECT_EQ(sigPowL3[0].lo, 0.0);
    EXPECT_EQ(sigPowE[0].hi, 1.0);
    EXPECT_EQ(sigPowE[0].lo, 0.0);

    auto onGrid = [](double v, int bits) {
        return std::ldexp(v, bits) == std::trunc(std::ldexp(v, bits));
    };
    for (int i = 0; i < sigPowT1Size; ++i) {
        const long double ideal = 1.0L / (1.0L + i / 32.0L);
        EXPECT_TRUE(onGrid(sigPowT1[i], 15));
        EXPECT_LE(std::fabs(sigPowT1[i] - ideal), std::ldexp(1.0L, -16)) << i;
    }
    for (int i = 0; i < sigPowT2Size; ++i) {
        const long double ideal =
            i <= 14 ? 1.0L / (1.0L + i / 512.0L) : 1.0L / (1.0L - (32 - i) / 1024.0L);
        EXPECT_TRUE(onGrid(sigPowT2[i], 15));
        EXPECT_LE(std::fabs(sigPowT2[i] - ideal), std::ldexp(1.0L, -15)) << i;
    }
    for (int i = 0; i < sigPowT3Size; ++i) {
        const long double ideal =
            i <= 60 ? cr / (1.0L + i / 32768.0L) : cr / (1.0L - (128 - i) / 65536.0L);
        EXPECT_TRUE(onGrid(sigPowT3[i], 22));
        EXPECT_LE(std::fabs(sigPowT3[i] - ideal), std::ldexp(1.0L, -23)) << i;
    }

    auto expectLog = [&](const sigPowPair& l, long double want, int i) {
        EXPECT_TRUE(onGrid(l.hi, 42)) << i;
        EXPECT_LE(std::fabs(l.hi), std::fabs(want) + std::ldexp(1.0L, -60)) << i;
        EXPECT_LT(std::fabs(l.lo), std::ldexp(1.0, -42)) << i;
        EXPECT_LE(std::fabs((static_cast<long double>(l.hi) + l.lo) - want), std::ldexp(1.0L, -60))
            << i;
    };
    for (int i = 0; i < sigPowT1Size; ++i)
        expectLog(sigPowL1[i],
                  -std::log2(static_cast<long double>(sigPowT1[i])) - (i >= 16 ? 1 : 0), i);
    for (int i = 0; i < sigPowT2Size; ++i)
        expectLog(sigPowL2[i], -std::log2(static_cast<long double>(sigPowT2[i])), i);
    for (int i = 0; i < sigPowT3Size; ++i)
        expectLog(sigPowL3[i],
                  std::log2(static_cast<long double>(cr)) -
                      std::log2(static_cast<long double>(sigPowT3[i])),
                  i);
    for (int j = 0; j < sigPowESize; ++j) {
        const long double want = std::exp2(j / 128.0L);
        EXPECT_EQ(sigPowE[j].hi, double(want)) << j;
        EXPECT_LE(std::fabs((static_cast<long double>(sigPowE[j].hi) + sigPowE[j].lo) - want),
                  std::ldexp(1.0L, -62))
            << j;
    }
}

} // namespace
