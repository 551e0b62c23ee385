// Transforms of 2^23 to 2^27 points: two split levels from 2^24 on. Slow and
// large (the order-27 record alone takes 1.1 GB), so they are built only with
// HEADSET_LONG_TESTS and run under the ctest label "long".
#include "sigproc/fft/real_fft.h"
#include "sigproc/sigproc.h"
#include "sigproc/tests/fft_reference.h"

#include <gtest/gtest.h>

namespace {

using fftref::OwnedSpec;

class LongOrder : public ::testing::TestWithParam<int> {};

TEST_P(LongOrder, ImpulseAndRoundTrip) {
    const int order = GetParam();
    const std::size_t n = std::size_t{1} << order;
    OwnedSpec spec(order, sigFftScaleInv);
    ASSERT_EQ(spec.status(), sigOk);

    const std::size_t delay = 3 * n / 7;
    std::vector<float> data(n, 0.0f);
    data[delay] = 1.0f;
    ASSERT_EQ(sigFftFwdInPlace_R_32f(data.data(), spec.get(), nullptr), sigOk);
    double worst = std::fabs(data[0] - 1.0);
    worst = std::max(worst, std::fabs(data[1] - (delay % 2 == 0 ? 1.0 : -1.0)));
    for (std::size_t k = 1; k < n / 2; ++k) {
        const double angle = -2.0 * std::numbers::pi * double((k * delay) % n) / double(n);
        worst = std::max(worst, std::fabs(data[2 * k] - std::cos(angle)));
        worst = std::max(worst, std::fabs(data[2 * k + 1] - std::sin(angle)));
    }
    EXPECT_LE(worst, fftref::tolerance(order, 1.0));

    const std::vector<float> x = fftref::randomSignal(n, 700u + unsigned(order));
    data = x;
    ASSERT_EQ(sigFftFwdInPlace_R_32f(data.data(), spec.get(), nullptr), sigOk);
    ASSERT_EQ(sigFftInvInPlace_R_32f(data.data(), spec.get(), nullptr), sigOk);
    EXPECT_LE(fftref::largestError(data, fftref::widen(x)), fftref::tolerance(2 * order, 1.0));
}

INSTANTIATE_TEST_SUITE_P(Orders23To27, LongOrder, ::testing::Range(23, 28));

TEST(LongOrderLayout, TwoSplitLevelsFromOrder24) {
    OwnedSpec spec(24, sigFftScaleNone);
    ASSERT_EQ(spec.status(), sigOk);
    const sigFftSpec_R_32f& s = *spec.get();
    EXPECT_NE(s.levelTwiddles[0], 0u);
    EXPECT_NE(s.levelMatrix[0], 0u);
    EXPECT_NE(s.levelTwiddles[1], 0u);
    EXPECT_NE(s.levelMatrix[1], 0u);
    EXPECT_EQ(s.levelTwiddles[2], 0u);
    EXPECT_EQ(s.levelMatrix[2], 0u);
    // Innermost first: the inner level's tables lie below the outer level's.
    EXPECT_LT(s.levelMatrix[1], s.levelTwiddles[0]);
    EXPECT_EQ(s.workBytes, 8192);
}

} // namespace
