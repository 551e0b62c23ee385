// IIR processing against the difference equation, block splits, in-place
// operation, the biquad cascade, and the statuses.
#include "filter_reference.h"
#include "sigproc/filters/iir.h"
#include "sigproc/sigproc.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

namespace {

using filter_reference::differenceEquation;
using filter_reference::randomSignal;

std::vector<float> polyMul(const std::vector<float>& p, const std::vector<float>& q) {
    std::vector<float> r(p.size() + q.size() - 1, 0.0f);
    for (std::size_t i = 0; i < p.size(); ++i)
        for (std::size_t j = 0; j < q.size(); ++j) r[i + j] += p[i] * q[j];
    return r;
}

// A state in a library block, released at the end of the scope.
struct IirFilter {
    IirFilter(const std::vector<float>& b, const std::vector<float>& a) {
        std::vector<float> taps = b;
        taps.insert(taps.end(), a.begin(), a.end());
        EXPECT_EQ(sigIirInitAlloc_32f(&state, taps.data(), static_cast<int>(b.size()) - 1, nullptr),
                  sigOk);
    }
    ~IirFilter() { sigIirFree_32f(state); }
    std::vector<float> run(const std::vector<float>& x) {
        std::vector<float> y(x.size());
        EXPECT_EQ(sigIirProcess_32f(x.data(), y.data(), static_cast<int>(x.size()), state), sigOk);
        return y;
    }
    std::vector<float> delayLine() const {
        return {state->delayArea(), state->delayArea() + state->order + 1};
    }
    sigIirState* state = nullptr;
};

// Bound on the distance from the exact filter: every stored state word and
// the output carry one single-precision rounding, and each rounding reaches
// the output through the recursion, whose gain is the l1 norm of 1/A.
double tolerance(const std::vector<float>& b, const std::vector<float>& a, double peakIn,
                 double peakOut) {
    const double eps = FLT_EPSILON;
    std::vector<float> impulse(4000, 0.0f);
    impulse[0] = 1.0f;
    const std::vector<double> h = differenceEquation({1.0f}, a, impulse);
    double recursionGain = 0.0;
    for (double v : h) recursionGain += std::abs(v);
    double sumB = 0.0, sumA = 0.0;
    for (float v : b) sumB += std::abs(v / a[0]);
    for (float v : a) sumA += std::abs(v / a[0]);
    const double wordBound = sumB * peakIn + sumA * peakOut;
    return static_cast<double>(a.size()) * eps * wordBound * recursionGain + eps * peakOut;
}

void expectNear(const std::vector<float>& y, const std::vector<double>& ref, double tol) {
    ASSERT_EQ(y.size(), ref.size());
    for (std::size_t n = 0; n < y.size(); ++n) ASSERT_NEAR(y[n], ref[n], tol) << "sample " << n;
}

TEST(IirProcess, FirstOrderFollowsItsDifferenceEquationExactly) {
    // Dyadic coefficients and inputs keep every value exact over a short run.
    IirFilter filter({0.5f, 0.25f}, {1.0f, -0.5f});
    const std::vector<float> x = {1, 2, -1, 0, 3, 0, 0, 4};
    const std::vector<float> y = filter.run(x);
    const std::vector<double> ref = differenceEquation({0.5f, 0.25f}, {1.0f, -0.5f}, x);
    for (std::size_t n = 0; n < x.size(); ++n) EXPECT_EQ(y[n], ref[n]) << n;
}

TEST(IirProcess, StableFiltersOfSeveralOrdersStayWithinTheDerivedBound) {
    const std::vector<float> a2 = {1.0f, -1.2f, 0.5f};
    const std::vector<float> a3 = polyMul({1.0f, -0.5f}, {1.0f, 0.0f, 0.25f});
    const std::vector<float> a5 = polyMul(a3, {1.0f, -1.0f, 0.5f});
    const std::vector<std::vector<float>> denominators = {
        {1.0f, 0.9f}, a2, a3, a5, {2.0f, -1.0f, 0.5f}};
    const std::vector<float> x = randomSignal(3001, 7);
    for (const auto& a : denominators) {
        std::vector<float> b = randomSignal(a.size(), 11 + static_cast<std::uint32_t>(a.size()));
        IirFilter filter(b, a);
        const std::vector<float> y = filter.run(x);
        const std::vector<double> ref = differenceEquation(b, a, x);
        double peakOut = 0.0;
        for (double v : ref) peakOut = std::max(peakOut, std::abs(v));
        SCOPED_TRACE("order " + std::to_string(a.size() - 1));
        expectNear(y, ref, tolerance(b, a, 1.0, peakOut));
    }
}

// Pairs restart at every call, so even splits reproduce one long call bit for bit.
TEST(IirProcess, EvenSplitsAndInPlaceMatchOneCallBitForBit) {
    const std::vector<float> b = {0.2f, -0.1f, 0.3f, 0.05f};
    const std::vector<float> a = polyMul({1.0f, -0.5f}, {1.0f, 0.0f, 0.25f});
    const std::vector<float> x = randomSignal(600, 3);
    IirFilter whole(b, a);
    const std::vector<float> expected = whole.run(x);

    IirFilter split(b, a);
    std::vector<float> y(x.size());
    std::size_t at = 0;
    for (std::size_t len : {2u, 10u, 64u, 4u, 520u}) {
        ASSERT_EQ(
            sigIirProcess_32f(x.data() + at, y.data() + at, static_cast<int>(len), split.state),
            sigOk);
        at += len;
    }
    EXPECT_EQ(y, expected);
    EXPECT_EQ(split.delayLine(), whole.delayLine());

    IirFilter inPlace(b, a);
    std::vector<float> buffer = x;
    ASSERT_EQ(sigIirProcessInPlace_32f_generic(buffer.data(), 300, inPlace.state), sigOk);
    ASSERT_EQ(sigIirProcess_32f(buffer.data() + 300, buffer.data() + 300, 300, inPlace.state),
              sigOk);
    EXPECT_EQ(buffer, expected);
}

TEST(IirProcess, OddLengthsEndWithASingleStepAndKeepTheZeroWord) {
    const std::vector<float> b = {0.2f, -0.1f, 0.3f};
    const std::vector<float> a = {1.0f, -1.2f, 0.5f};
    const std::vector<float> x = randomSignal(9, 5);
    IirFilter filter(b, a);
    std::vector<float> y(x.size());
    for (std::size_t n = 0; n < x.size(); ++n) {
        ASSERT_EQ(sigIirProcess_32f(&x[n], &y[n], 1, filter.state), sigOk);
        EXPECT_EQ(filter.delayLine()[2], 0.0f);
    }
    expectNear(y, differenceEquation(b, a, x), 1e-6);
}

TEST(IirProcess, UnitCoefficientsCopyTheInput) {
    const std::vector<float> x = randomSignal(33, 9, 1e6f);
    IirFilter filter({1.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f});
    EXPECT_EQ(filter.run(x), x);
    std::vector<float> buffer = x;
    ASSERT_EQ(sigIirProcessInPlace_32f_generic(buffer.data(), 33, filter.state), sigOk);
    EXPECT_EQ(buffer, x);
}

TEST(IirProcess, CallerDelayWordsStartTheTransposedForm) {
    // With d0 = 1 and silence in, the first output is d0 itself.
    const std::vector<float> taps = {0.5f, 0.25f, 1.0f, -0.5f};
    const float dly[1] = {1.0f};
    sigIirState* state = nullptr;
    ASSERT_EQ(sigIirInitAlloc_32f(&state, taps.data(), 1, dly), sigOk);
    const std::vector<float> x(3, 0.0f);
    std::vector<float> y(3);
    ASSERT_EQ(sigIirProcess_32f(x.data(), y.data(), 3, state), sigOk);
    EXPECT_EQ(y, (std::vector<float>{1.0f, 0.5f, 0.25f}));
    sigIirFree_32f(state);
}

// A cascade record as processing reads it: five taps and two delay words per
// section, the order word counting delay words.
struct BiquadRecord {
    explicit BiquadRecord(const std::vector<std::vector<float>>& sections) {
        std::memset(storage, 0, sizeof storage);
        state = reinterpret_cast<sigIirState*>(storage);
        state->id = sigIirIdBiquad;
        state->order = static_cast<std::int32_t>(2 * sections.size());
        state->taps = 48;
        state->delay = 48 + 160;
        float* taps = state->tapsArea();
        for (const auto& s : sections) taps = std::copy(s.begin(), s.end(), taps);
    }
    alignas(16) unsigned char storage[512];
    sigIirState* state;
};

TEST(IirProcess, BiquadCascadeMatchesTheProductFilter) {
    // Each section: b0 b1 b2 a1 a2.
    const std::vector<float> s1 = {0.5f, 0.2f, -0.1f, -1.2f, 0.5f};
    const std::vector<float> s2 = {1.0f, -0.3f, 0.25f, 0.4f, 0.2f};
    BiquadRecord record({s1, s2});
    const std::vector<float> b = polyMul({s1[0], s1[1], s1[2]}, {s2[0], s2[1], s2[2]});
    const std::vector<float> a = polyMul({1.0f, s1[3], s1[4]}, {1.0f, s2[3], s2[4]});
    const std::vector<float> x = randomSignal(1001, 21);
    std::vector<float> y(x.size());
    ASSERT_EQ(sigIirProcess_32f(x.data(), y.data(), 500, record.state), sigOk);
    std::vector<float> tail(x.begin() + 500, x.end());
    ASSERT_EQ(sigIirProcessInPlace_32f_generic(tail.data(), 0, record.state), sigErrLength);
    ASSERT_EQ(sigIirProcessInPlace_32f_generic(tail.data(), 501, record.state), sigOk);
    std::copy(tail.begin(), tail.end(), y.begin() + 500);
    const std::vector<double> ref = differenceEquation(b, a, x);
    double peakOut = 0.0;
    for (double v : ref) peakOut = std::max(peakOut, std::abs(v));
    expectNear(y, ref, tolerance(b, a, 1.0, peakOut));
}

TEST(IirProcess, RefusalsWriteNothing) {
    IirFilter filter({0.5f, 0.25f, 0.1f}, {1.0f, -0.5f, 0.1f});
    testkit::GuardedBuffer<float> src(8), dst(8);
    const std::vector<float> delayBefore = filter.delayLine();
    EXPECT_EQ(sigIirProcess_32f(src.data(), dst.data(), 8, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigIirProcess_32f(nullptr, dst.data(), 0, filter.state), sigErrNullPtr);
    EXPECT_EQ(sigIirProcess_32f(src.data(), nullptr, 0, filter.state), sigErrNullPtr);
    EXPECT_EQ(sigIirProcess_32f(src.data(), dst.data(), 0, filter.state), sigErrLength);
    EXPECT_EQ(sigIirProcessInPlace_32f_generic(nullptr, 8, filter.state), sigErrNullPtr);
    EXPECT_EQ(sigIirProcessInPlace_32f_generic(dst.data(), -2, filter.state), sigErrLength);

    // The id is tested after the length.
    filter.state->id = 0x49493033;
    EXPECT_EQ(sigIirProcess_32f(src.data(), dst.data(), 0, filter.state), sigErrLength);
    EXPECT_EQ(sigIirProcess_32f(src.data(), dst.data(), 8, filter.state), sigErrStateMismatch);
    EXPECT_EQ(sigIirProcessInPlace_32f_generic(dst.data(), 8, filter.state), sigErrStateMismatch);
    filter.state->id = sigIirIdDirect;
    EXPECT_TRUE(dst.unchanged());
    EXPECT_EQ(filter.delayLine(), delayBefore);
}

} // namespace
