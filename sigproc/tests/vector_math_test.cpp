// The vector operations that have dispatch groups but no entry points.
#include "sigproc/core/dispatch.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/reduce.h"
#include "sigproc/vector/transcendental.h"
#include "sigproc/vector/vector_arith.h"
#include "testkit/float_bits.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

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

template <typename Fn> bool holds(const sigGroup<Fn>& group, Fn* member) {
    for (Fn* slot : group)
        if (slot != member) return false;
    return true;
}

TEST(VectorMath, EveryGroupHoldsItsGenericMember) {
    EXPECT_TRUE(holds(sigDispatchTableA.sqrtInPlace_32f, sigSqrtInPlace_32f_generic));
    EXPECT_TRUE(holds(sigDispatchTableA.lnInPlace_32f, sigLnInPlace_32f_generic));
    EXPECT_TRUE(holds(sigDispatchTableA.expInPlace_32f, sigExpInPlace_32f_generic));
    EXPECT_TRUE(holds(sigDispatchTableA.sqr_32f, sigSqr_32f_generic));
    EXPECT_TRUE(holds(sigDispatchTableA.mul_32f, sigMul_32f_generic));
    EXPECT_TRUE(holds(sigDispatchTableA.div_32f, sigDiv_32f_generic));
    EXPECT_TRUE(holds(sigDispatchTableA.addProduct_32f, sigAddProduct_32f_generic));
    EXPECT_TRUE(holds(sigDispatchTableA.minEveryInPlace_32f, sigMinEveryInPlace_32f_generic));
    EXPECT_TRUE(holds(sigDispatchTableA.maxEveryInPlace_32f, sigMaxEveryInPlace_32f_generic));
    EXPECT_TRUE(holds(sigDispatchTableA.sum_32f, sigSum_32f_generic));
    EXPECT_TRUE(holds(sigDispatchTableA.mean_32f, sigMean_32f_generic));
    EXPECT_TRUE(holds(sigDispatchTableA.dotProd_32f, sigDotProd_32f_generic));
}

TEST(Sqrt, NegativesBecomeTheNaNZerosAndNaNsStay) {
    const float nan = floatOf(0x7FC01234u);
    float v[] = {4.0f, -0.0f, -1.0f, nan, kInf, -kInf, 0.0f};
    EXPECT_EQ(sigSqrtInPlace_32f_generic(v, 7), sigWarnSqrtNegative);
    EXPECT_EQ(v[0], 2.0f);
    EXPECT_EQ(bitsOf(v[1]), bitsOf(-0.0f));
    EXPECT_EQ(bitsOf(v[2]), kCreatedNanBits);
    EXPECT_EQ(bitsOf(v[3]), 0x7FC01234u);
    EXPECT_EQ(v[4], kInf);
    EXPECT_EQ(bitsOf(v[5]), kCreatedNanBits);
    EXPECT_EQ(bitsOf(v[6]), 0u);
    float ok[] = {9.0f, 2.0f};
    EXPECT_EQ(sigSqrtInPlace_32f_generic(ok, 2), sigOk);
    EXPECT_EQ(ok[1], std::sqrt(2.0f));
}

TEST(Ln, TheFirstExceptionalElementNamesTheStatus) {
    float zeroFirst[] = {0.0f, -1.0f};
    EXPECT_EQ(sigLnInPlace_32f_generic(zeroFirst, 2), sigWarnLnZero);
    EXPECT_EQ(zeroFirst[0], -kInf);
    EXPECT_EQ(bitsOf(zeroFirst[1]), kCreatedNanBits);
    float negativeFirst[] = {-1.0f, 0.0f};
    EXPECT_EQ(sigLnInPlace_32f_generic(negativeFirst, 2), sigWarnLnNegative);
    EXPECT_EQ(bitsOf(negativeFirst[0]), kCreatedNanBits);
    EXPECT_EQ(negativeFirst[1], -kInf);
    float negativeZero[] = {-0.0f};
    EXPECT_EQ(sigLnInPlace_32f_generic(negativeZero, 1), sigWarnLnNegative);
    EXPECT_EQ(bitsOf(negativeZero[0]), kCreatedNanBits);
    float one[] = {1.0f, floatOf(0x7FC12345u), kInf, floatOf(0xFFC00000u)};
    EXPECT_EQ(sigLnInPlace_32f_generic(one, 3), sigOk);
    EXPECT_EQ(bitsOf(one[0]), 0u);
    EXPECT_EQ(bitsOf(one[1]), 0x7FC00000u);
    EXPECT_EQ(one[2], kInf);
    EXPECT_EQ(sigLnInPlace_32f_generic(one + 3, 1), sigWarnLnNegative);
}

TEST(Ln, WithinOneUlpOverThePositiveRange) {
    std::mt19937 rng(31);
    std::vector<float> v(20000);
    for (float& f : v) f = floatOf(1u + rng() % 0x7F7FFFFFu);
    std::vector<float> x = v;
    ASSERT_EQ(sigLnInPlace_32f_generic(v.data(), int(v.size())), sigOk);
    for (std::size_t i = 0; i < v.size(); ++i)
        EXPECT_LE(testkit::ulpDistance(v[i], float(std::log(static_cast<long double>(x[i])))), 1u)
            << x[i];
}

// Four or more elements go through the screened four-at-a-time path; fewer go
// element by element through the double exponential.
TEST(Exp, ScreeningOfTheLongPath) {
    std::vector<float> v{0.0f,
                         -0.0f,
                         floatOf(0x00000001u),
                         floatOf(0x807FFFFFu),
                         -87.34f,
                         floatOf(0xC2AEAC50u), // -87.3365478515625
                         88.72284f,
                         floatOf(0x42B17218u), // 88.72283935546875
                         -kInf,
                         kInf,
                         floatOf(0x7FC00123u),
                         floatOf(0xFFC00123u),
                         floatOf(0x7F800001u),
                         floatOf(0xFF800001u)};
    ASSERT_EQ(sigExpInPlace_32f_generic(v.data(), int(v.size())), sigOk);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(v[std::size_t(i)], 1.0f) << i;
    EXPECT_EQ(bitsOf(v[4]), 0u);
    EXPECT_EQ(bitsOf(v[5]), 0u);
    EXPECT_EQ(v[6], kInf);
    EXPECT_EQ(v[7], kInf);
    EXPECT_EQ(bitsOf(v[8]), 0u);
    EXPECT_EQ(v[9], kInf);
    EXPECT_EQ(bitsOf(v[10]), 0x7FC00000u);
    EXPECT_EQ(bitsOf(v[11]), kCreatedNanBits);
    EXPECT_EQ(v[12], kInf); // a positive signalling NaN
    EXPECT_EQ(bitsOf(v[13]), 0u);
}

TEST(Exp, JustInsideTheScreeningLimitsIsComputed) {
    float v[] = {floatOf(0xC2AEAC4Fu), floatOf(0x42B17217u), 1.0f, -1.0f};
    const float lowIn = v[0], highIn = v[1];
    ASSERT_EQ(sigExpInPlace_32f_generic(v, 4), sigOk);
    EXPECT_LE(testkit::ulpDistance(v[0], float(std::exp(static_cast<long double>(lowIn)))), 1u);
    EXPECT_LE(testkit::ulpDistance(v[1], float(std::exp(static_cast<long double>(highIn)))), 1u);
    EXPECT_TRUE(std::isfinite(v[1]));
    EXPECT_LE(testkit::ulpDistance(v[2], float(std::exp(1.0L))), 1u);
}

TEST(Exp, FewerThanFourElementsTakeTheDoubleExponential) {
    float three[] = {-88.0f, floatOf(0x7F800001u), 88.72284f};
    ASSERT_EQ(sigExpInPlace_32f_generic(three, 3), sigOk);
    EXPECT_EQ(three[0], float(std::exp(-88.0)));
    EXPECT_GT(three[0], 0.0f); // subnormal, where the long path screens to 0
    EXPECT_TRUE(std::isnan(three[1]));
    EXPECT_EQ(three[2], kInf);
    float four[] = {-88.0f, -88.0f, -88.0f, -88.0f};
    ASSERT_EQ(sigExpInPlace_32f_generic(four, 4), sigOk);
    for (float f : four) EXPECT_EQ(bitsOf(f), 0u);
}

// Ordinary elements are evaluated four at a time from the end; one to three
// left over at the front come out of the double exponential.
TEST(Exp, GroupsOfFourFromTheEndAndLeftoversAtTheFront) {
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> dist(-87.0f, 88.0f);
    for (int len : {4, 5, 6, 7, 8, 9, 13, 64}) {
        std::vector<float> x(static_cast<std::size_t>(len));
        for (float& f : x) f = dist(rng);
        x[std::size_t(len) / 2] = 0.0f; // a screened element between the groups
        std::vector<float> v = x;
        ASSERT_EQ(sigExpInPlace_32f_generic(v.data(), len), sigOk);
        const int ordinary = len - 1;
        for (int i = 0; i < len; ++i) {
            const float want = float(std::exp(static_cast<long double>(x[std::size_t(i)])));
            EXPECT_LE(testkit::ulpDistance(v[std::size_t(i)], want), 1u) << len << " " << i;
        }
        // The lowest (ordinary % 4) ordinary elements are exactly the double exponential.
        int leftovers = ordinary % 4;
        for (int i = 0; i < len && leftovers > 0; ++i) {
            if (x[std::size_t(i)] == 0.0f) continue;
            EXPECT_EQ(v[std::size_t(i)], float(std::exp(double(x[std::size_t(i)]))))
                << len << " " << i;
            --leftovers;
        }
    }
}

TEST(Div, FirstVectorDividesAndZeroDivisorsWarn) {
    const float divisors[] = {0.0f, 0.0f, -0.0f, 0.0f, 0.0f, 4.0f, kNaN};
    const float dividends[] = {1.0f, -1.0f, 1.0f, 0.0f, kNaN, 2.0f, 1.0f};
    float out[7];
    EXPECT_EQ(sigDiv_32f_generic(divisors, dividends, out, 7), sigWarnDivByZero);
    EXPECT_EQ(out[0], kInf);
    EXPECT_EQ(out[1], -kInf);
    EXPECT_EQ(out[2], kInf);
    EXPECT_EQ(bitsOf(out[3]), kCreatedNanBits);
    EXPECT_EQ(bitsOf(out[4]), kCreatedNanBits);
    EXPECT_EQ(out[5], 0.5f);
    EXPECT_TRUE(std::isnan(out[6]));
    EXPECT_EQ(sigDiv_32f_generic(divisors + 5, dividends + 5, out, 2), sigOk);
}

TEST(Products, SingleRoundingAndOutputMayBeAnInput) {
    const float x = 1.0f + std::ldexp(1.0f, -12);
    const float a[] = {x, 3.0f}, b[] = {x, -0.5f};
    float acc[] = {-1.0f, 1.0f};
    ASSERT_EQ(sigAddProduct_32f_generic(a, b, acc, 2), sigOk);
    EXPECT_EQ(acc[0], std::ldexp(1.0f, -11) + std::ldexp(1.0f, -24));
    EXPECT_EQ(acc[1], -0.5f);

    std::mt19937 rng(3);
    std::uniform_real_distribution<float> dist(-1e3f, 1e3f);
    std::vector<float> p(17), q(17), product(17), square(17);
    for (std::size_t i = 0; i < p.size(); ++i) {
        p[i] = dist(rng);
        q[i] = dist(rng);
    }
    ASSERT_EQ(sigMul_32f_generic(p.data(), q.data(), product.data(), 17), sigOk);
    ASSERT_EQ(sigSqr_32f_generic(p.data(), square.data(), 17), sigOk);
    std::vector<float> inPlace = p;
    ASSERT_EQ(sigMul_32f_generic(inPlace.data(), q.data(), inPlace.data(), 17), sigOk);
    std::vector<float> squaredInPlace = p;
    ASSERT_EQ(sigSqr_32f_generic(squaredInPlace.data(), squaredInPlace.data(), 17), sigOk);
    for (std::size_t i = 0; i < p.size(); ++i) {
        EXPECT_EQ(product[i], p[i] * q[i]);
        EXPECT_EQ(square[i], p[i] * p[i]);
    }
    EXPECT_EQ(inPlace, product);
    EXPECT_EQ(squaredInPlace, square);
}

TEST(MinMaxEvery, OnlyAStrictlyBetterOrderedValueReplaces) {
    float dst[] = {kNaN, 1.0f, -0.0f, 5.0f, 2.0f};
    const float src[] = {0.0f, kNaN, 0.0f, 4.0f, 3.0f};
    ASSERT_EQ(sigMinEveryInPlace_32f_generic(src, dst, 5), sigOk);
    EXPECT_TRUE(std::isnan(dst[0]));
    EXPECT_EQ(dst[1], 1.0f);
    EXPECT_EQ(bitsOf(dst[2]), bitsOf(-0.0f));
    EXPECT_EQ(dst[3], 4.0f);
    EXPECT_EQ(dst[4], 2.0f);
    ASSERT_EQ(sigMaxEveryInPlace_32f_generic(src, dst, 5), sigOk);
    EXPECT_TRUE(std::isnan(dst[0]));
    EXPECT_EQ(dst[1], 1.0f);
    EXPECT_EQ(bitsOf(dst[2]), bitsOf(-0.0f));
    EXPECT_EQ(dst[3], 4.0f);
    EXPECT_EQ(dst[4], 3.0f);
}

TEST(SumMean, MeanOfThreeAndEveryHintAlike) {
    const float v[] = {1.0f, 2.0f, 3.0f};
    float mean = 0, sum = 0;
    ASSERT_EQ(sigMean_32f_generic(v, 3, &mean, 0), sigOk);
    EXPECT_EQ(mean, 2.0f);
    for (int hint : {0, 1, 2, -5}) {
        ASSERT_EQ(sigSum_32f_generic(v, 3, &sum, hint), sigOk);
        EXPECT_EQ(sum, 6.0f);
    }
}

// A float accumulator would drop every 1 against 2^24; the double keeps them.
TEST(SumMean, AccumulateInDouble) {
    std::vector<float> v(1001, 1.0f);
    v[0] = 16777216.0f;
    float sum = 0, mean = 0;
    ASSERT_EQ(sigSum_32f_generic(v.data(), 1001, &sum, 1), sigOk);
    EXPECT_EQ(sum, 16778216.0f);
    ASSERT_EQ(sigMean_32f_generic(v.data(), 1001, &mean, 0), sigOk);
    EXPECT_EQ(mean, float(16778216.0 / 1001.0));
}

// Even elements of each group of four go to one accumulator and odd ones to
// the other: with 2^60 and -2^60 on one side, both 1s on the other survive,
// where a single running sum would lose the first.
TEST(SumMean, TwoAccumulatorsInTheirFixedOrder) {
    const float big = std::ldexp(1.0f, 60);
    const float v[] = {big, 1.0f, -big, 1.0f, 0.5f, big, -big};
    float sum = 0;
    ASSERT_EQ(sigSum_32f_generic(v, 4, &sum, 0), sigOk);
    EXPECT_EQ(sum, 2.0f);
    // Leftovers are added to the combined sum in index order: (2 + 0.5) + 2^60 - 2^60.
    ASSERT_EQ(sigSum_32f_generic(v, 7, &sum, 0), sigOk);
    EXPECT_EQ(sum, 0.0f);
}

TEST(DotProd, ExactProductsInOneDoubleAccumulatorInIndexOrder) {
    const float a[] = {16777216.0f, 1.0f, 1.0f}, ones[] = {1.0f, 1.0f, 1.0f};
    float dp = 0;
    ASSERT_EQ(sigDotProd_32f_generic(a, ones, 3, &dp), sigOk);
    EXPECT_EQ(dp, 16777218.0f);
    const float x = 1.0f + std::ldexp(1.0f, -12);
    const float b[] = {x, -1.0f}, c[] = {x, 1.0f};
    ASSERT_EQ(sigDotProd_32f_generic(b, c, 2, &dp), sigOk);
    EXPECT_EQ(dp, std::ldexp(1.0f, -11) + std::ldexp(1.0f, -24));
    const float big = std::ldexp(1.0f, 30);
    const float d[] = {big, 1.0f, -big}, e[] = {big, 1.0f, big};
    ASSERT_EQ(sigDotProd_32f_generic(d, e, 3, &dp), sigOk);
    EXPECT_EQ(dp, 0.0f); // 2^60 + 1 rounds back to 2^60 before the last term
}

} // namespace
