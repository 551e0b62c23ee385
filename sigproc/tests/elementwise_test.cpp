#include "sigproc/sigproc.h"
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
using testkit::GuardedBuffer;

constexpr float kInf = testkit::kInfinity;
constexpr float kNaN = testkit::kQuietNan;

TEST(MaxMin, FirstOfEqualsWinsAndNaNsAfterTheFirstArePassedOver) {
    float r = 0;
    const float zeros[] = {-0.0f, 0.0f};
    EXPECT_EQ(sigMax_32f(zeros, 2, &r), sigOk);
    EXPECT_EQ(bitsOf(r), bitsOf(-0.0f));
    const float zeros2[] = {0.0f, -0.0f};
    EXPECT_EQ(sigMax_32f(zeros2, 2, &r), sigOk);
    EXPECT_EQ(bitsOf(r), bitsOf(0.0f));
    EXPECT_EQ(sigMin_32f(zeros2, 2, &r), sigOk);
    EXPECT_EQ(bitsOf(r), bitsOf(0.0f));

    const float nanFirst[] = {kNaN, 1, 2};
    EXPECT_EQ(sigMax_32f(nanFirst, 3, &r), sigOk);
    EXPECT_TRUE(std::isnan(r));
    const float nanMiddle[] = {1, kNaN, 2};
    EXPECT_EQ(sigMax_32f(nanMiddle, 3, &r), sigOk);
    EXPECT_EQ(r, 2.0f);
    const float nanMin[] = {3, kNaN, 1};
    EXPECT_EQ(sigMin_32f(nanMin, 3, &r), sigOk);
    EXPECT_EQ(r, 1.0f);

    const float one[] = {-7.5f};
    EXPECT_EQ(sigMax_32f(one, 1, &r), sigOk);
    EXPECT_EQ(r, -7.5f);
    EXPECT_EQ(sigMin_32f(one, 1, &r), sigOk);
    EXPECT_EQ(r, -7.5f);
}

TEST(MaxMin, PeakOfABlockAsTheFirEffectTakesIt) {
    std::vector<float> block{0.25f, -0.9f, 0.5f, 0.1f, 0.75f};
    float peak[2];
    ASSERT_EQ(sigMax_32f(block.data(), 5, &peak[0]), sigOk);
    ASSERT_EQ(sigMin_32f(block.data(), 5, &peak[1]), sigOk);
    ASSERT_EQ(sigAbsInPlace_32f(peak, 2), sigOk);
    EXPECT_EQ(std::max(peak[0], peak[1]), 0.9f);
}

TEST(MaxMin, ErrorLeavesTheResultUntouched) {
    const float src[] = {1, 2};
    float r = 42.0f;
    EXPECT_EQ(sigMax_32f(src, 0, &r), sigErrLength);
    EXPECT_EQ(sigMin_32f(src, -1, &r), sigErrLength);
    EXPECT_EQ(sigMax_32f(src, 0, nullptr), sigErrNullPtr);
    EXPECT_EQ(r, 42.0f);
}

TEST(Abs, ClearsOnlyTheSignBit) {
    std::vector<float> v{-0.0f, -kInf, kInf, -3.5f, floatOf(0xFFC00001u), floatOf(0xFF800001u),
                         2.0f};
    ASSERT_EQ(sigAbsInPlace_32f(v.data(), int(v.size())), sigOk);
    EXPECT_EQ(bitsOf(v[0]), 0u);
    EXPECT_EQ(v[1], kInf);
    EXPECT_EQ(v[2], kInf);
    EXPECT_EQ(v[3], 3.5f);
    EXPECT_EQ(bitsOf(v[4]), 0x7FC00001u);
    EXPECT_EQ(bitsOf(v[5]), 0x7F800001u); // a signalling NaN stays signalling
    EXPECT_EQ(v[6], 2.0f);
}

TEST(SubAdd, SecondMinusFirstAndSum) {
    const float a[] = {1, 1}, b[] = {5, 7};
    float d[2];
    ASSERT_EQ(sigSub_32f(a, b, d, 2), sigOk);
    EXPECT_EQ(d[0], 4.0f);
    EXPECT_EQ(d[1], 6.0f);
    ASSERT_EQ(sigAdd_32f(a, b, d, 2), sigOk);
    EXPECT_EQ(d[0], 6.0f);
    EXPECT_EQ(d[1], 8.0f);
}

// Writing into an input array gives the values separate arrays give.
TEST(ElementWise, OutputMayBeAnInput) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> dist(-100.0f, 100.0f);
    std::vector<float> a(33), b(33);
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] = dist(rng);
        b[i] = dist(rng);
    }
    const int n = int(a.size());
    std::vector<float> sum(a.size()), diff(a.size());
    sigAdd_32f(a.data(), b.data(), sum.data(), n);
    sigSub_32f(a.data(), b.data(), diff.data(), n);

    std::vector<float> x = a;
    ASSERT_EQ(sigAdd_32f(x.data(), b.data(), x.data(), n), sigOk);
    EXPECT_EQ(x, sum);
    x = b;
    ASSERT_EQ(sigSub_32f(a.data(), x.data(), x.data(), n), sigOk);
    EXPECT_EQ(x, diff);

    std::vector<float> product = b;
    sigMulInPlace_32f(a.data(), product.data(), n);
    std::vector<float> square = a;
    ASSERT_EQ(sigMulInPlace_32f(square.data(), square.data(), n), sigOk);
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(product[i], a[i] * b[i]);
        EXPECT_EQ(square[i], a[i] * a[i]);
    }
}

TEST(Flip, ReversesEveryBitOfEveryWord) {
    std::mt19937 rng(4);
    for (int len : {1, 2, 7, 64}) {
        std::vector<float> src(static_cast<std::size_t>(len));
        for (float& f : src) f = floatOf(rng());
        GuardedBuffer<float> dst(std::size_t(len), 4);
        ASSERT_EQ(sigFlip_32f(src.data(), dst.data(), len), sigOk);
        for (int i = 0; i < len; ++i)
            EXPECT_EQ(bitsOf(dst.get(std::size_t(len - 1 - i))), bitsOf(src[std::size_t(i)]));
        EXPECT_TRUE(dst.guardsIntact());
    }
}

// Reading upwards while writing downwards would overwrite samples not yet
// read when the arrays overlap; the result is still the reversal.
TEST(Flip, OverlappingArraysStillGiveTheReversal) {
    for (int shift : {0, 1, 3, -2, -5}) {
        std::vector<float> buffer(32);
        for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = float(i);
        const std::vector<float> original = buffer;
        const int len = 20;
        float* src = buffer.data() + 8;
        ASSERT_EQ(sigFlip_32f(src, src + shift, len), sigOk);
        for (int i = 0; i < len; ++i)
            EXPECT_EQ(src[shift + len - 1 - i], original[std::size_t(8 + i)]) << shift;
    }
}

// The product is not rounded to single before the sum.
TEST(AddProductConst, RoundsOnlyTheSum) {
    const float x = 1.0f + std::ldexp(1.0f, -12);
    const float src[] = {x};
    float acc[] = {-1.0f};
    ASSERT_EQ(sigAddProductConst_32f(src, x, acc, 1), sigOk);
    EXPECT_EQ(acc[0], std::ldexp(1.0f, -11) + std::ldexp(1.0f, -24));

    const float specials[] = {kInf, kNaN, -kInf, 2.0f};
    float dst[] = {1, 1, 1, 1};
    ASSERT_EQ(sigAddProductConst_32f(specials, 0.0f, dst, 4), sigOk);
    EXPECT_TRUE(std::isnan(dst[0]));
    EXPECT_TRUE(std::isnan(dst[1]));
    EXPECT_TRUE(std::isnan(dst[2]));
    EXPECT_EQ(dst[3], 1.0f);
}

// A weighted mix of two channels, as the headphone virtualizer forms it.
TEST(AddProductConst, WeightedMixOfTwoChannels) {
    const float left[] = {1.0f, -0.5f, 0.25f}, right[] = {0.5f, 0.5f, -1.0f};
    float mix[3];
    ASSERT_EQ(sigMulConst_32f(left, 0.75f, mix, 3), sigOk);
    ASSERT_EQ(sigAddProductConst_32f(right, 0.25f, mix, 3), sigOk);
    EXPECT_EQ(mix[0], 0.875f);
    EXPECT_EQ(mix[1], -0.25f);
    EXPECT_EQ(mix[2], -0.0625f);
}

} // namespace
