#include "sigproc/sigproc.h"
#include "sigproc/vector/arith_const.h"
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

constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = floatOf(0x7FC00000u);

// Inputs where sign, infinity and NaN behaviour shows.
std::vector<float> awkward() { return {-3.0f, -0.0f, 0.0f, kInf, -kInf, kNaN, 1e-40f, 9.0f}; }

std::vector<std::uint32_t> bits(const std::vector<float>& v) {
    std::vector<std::uint32_t> b;
    for (float f : v) b.push_back(bitsOf(f));
    return b;
}

TEST(ConstArithmetic, AddOfZeroLeavesEveryBitAlone) {
    for (float zero : {0.0f, -0.0f}) {
        std::vector<float> v = awkward();
        EXPECT_EQ(sigAddConstInPlace_32f(zero, v.data(), int(v.size())), sigOk);
        EXPECT_EQ(bits(v), bits(awkward()));
    }
}

TEST(ConstArithmetic, MultiplyByZeroWritesPositiveZeros) {
    for (float zero : {0.0f, -0.0f}) {
        std::vector<float> v = awkward();
        EXPECT_EQ(sigMulConstInPlace_32f(zero, v.data(), int(v.size())), sigOk);
        for (float f : v) EXPECT_EQ(bitsOf(f), 0u);
        std::vector<float> out(8, 5.0f);
        const std::vector<float> src = awkward();
        EXPECT_EQ(sigMulConst_32f(src.data(), zero, out.data(), 8), sigOk);
        for (float f : out) EXPECT_EQ(bitsOf(f), 0u);
    }
}

TEST(ConstArithmetic, MultiplyByOneCopiesOrLeavesAlone) {
    const std::vector<float> src = awkward();
    std::vector<float> out(8);
    EXPECT_EQ(sigMulConst_32f(src.data(), 1.0f, out.data(), 8), sigOk);
    EXPECT_EQ(bits(out), bits(src));
    std::vector<float> v = awkward();
    v[5] = floatOf(0x7F800001u); // a signalling NaN would be quietened by any arithmetic
    EXPECT_EQ(sigMulConstInPlace_32f(1.0f, v.data(), 8), sigOk);
    EXPECT_EQ(bitsOf(v[5]), 0x7F800001u);
}

TEST(ConstArithmetic, DivisionByZeroIsRefusedAndWritesNothing) {
    for (float zero : {0.0f, -0.0f}) {
        testkit::GuardedBuffer<float> v(5);
        EXPECT_EQ(sigDivConstInPlace_32f(zero, v.data(), 5), sigErrDivByZero);
        EXPECT_TRUE(v.unchanged());
        EXPECT_EQ(sigDivConstInPlace_32f(zero, nullptr, 5), sigErrNullPtr);
        EXPECT_EQ(sigDivConstInPlace_32f(zero, v.data(), 0), sigErrLength);
        EXPECT_EQ(sigDivConst_32f_generic(v.data(), zero, v.data(), -2), sigErrLength);
        EXPECT_EQ(sigDivConst_32f_generic(v.data(), zero, nullptr, 5), sigErrNullPtr);
    }
}

TEST(ConstArithmetic, DivisionMultipliesByTheSinglePrecisionReciprocal) {
    std::vector<float> v{3.0f, 9.0f};
    EXPECT_EQ(sigDivConstInPlace_32f(3.0f, v.data(), 1), sigOk);
    EXPECT_EQ(v[0], 1.0f);
    EXPECT_EQ(sigDivConstInPlace_32f(10.0f, v.data() + 1, 1), sigOk);
    EXPECT_EQ(v[1], 0.90000004f);
    EXPECT_NE(v[1], 9.0f / 10.0f);
}

TEST(ConstArithmetic, DivisionByInfinityGivesPositiveZeros) {
    std::vector<float> v = awkward();
    EXPECT_EQ(sigDivConstInPlace_32f(-kInf, v.data(), int(v.size())), sigOk);
    for (float f : v) EXPECT_EQ(bitsOf(f), 0u);
}

TEST(ConstArithmetic, DivisionByOneInPlaceKeepsTheData) {
    std::vector<float> v = awkward();
    EXPECT_EQ(sigDivConstInPlace_32f(1.0f, v.data(), int(v.size())), sigOk);
    EXPECT_EQ(bits(v), bits(awkward()));
}

TEST(ConstArithmetic, DivisionByADeepSubnormalOverflowsTheReciprocal) {
    std::vector<float> v{0.0f, 2.0f, -1e-30f};
    EXPECT_EQ(sigDivConstInPlace_32f(0x1p-130f, v.data(), 3), sigOk);
    EXPECT_EQ(bitsOf(v[0]), testkit::kCreatedNanBits); // 0 x infinity
    EXPECT_EQ(v[1], kInf);
    EXPECT_EQ(v[2], -kInf);
}

TEST(ConstArithmetic, NaNConstantMakesEveryElementNaN) {
    for (int op = 0; op < 4; ++op) {
        std::vector<float> v{1.0f, 0.0f, -kInf};
        std::vector<float> out(3);
        switch (op) {
        case 0:
            sigAddConstInPlace_32f(kNaN, v.data(), 3);
            out = v;
            break;
        case 1:
            sigMulConstInPlace_32f(kNaN, v.data(), 3);
            out = v;
            break;
        case 2:
            sigMulConst_32f(v.data(), kNaN, out.data(), 3);
            break;
        default:
            sigDivConstInPlace_32f(kNaN, v.data(), 3);
            out = v;
            break;
        }
        for (float f : out) EXPECT_TRUE(std::isnan(f)) << "op " << op;
    }
}

TEST(ConstArithmetic, GeneralLoopsRoundEachResultOnce) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> d(-100.0f, 100.0f);
    std::vector<float> a(777), b(777);
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = d(rng), b[i] = d(rng);
    const float c = 1e-12f;

    std::vector<float> sum = b;
    ASSERT_EQ(sigAddInPlace_32f(a.data(), sum.data(), 777), sigOk);
    std::vector<float> plus = a;
    ASSERT_EQ(sigAddConstInPlace_32f(c, plus.data(), 777), sigOk);
    std::vector<float> times(777);
    ASSERT_EQ(sigMulConst_32f(a.data(), 0.7f, times.data(), 777), sigOk);
    std::vector<float> timesInPlace = a;
    ASSERT_EQ(sigMulConstInPlace_32f(0.7f, timesInPlace.data(), 777), sigOk);
    std::vector<float> quotient = a;
    ASSERT_EQ(sigDivConstInPlace_32f(8388608.0f, quotient.data(), 777), sigOk);
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(sum[i], float(double(b[i]) + double(a[i])));
        ASSERT_EQ(plus[i], float(double(a[i]) + double(c)));
        ASSERT_EQ(times[i], float(double(a[i]) * 0.7f));
        ASSERT_EQ(timesInPlace[i], times[i]);
        ASSERT_EQ(quotient[i], a[i] * 0x1p-23f);
    }
}

} // namespace
