// Transforms of 2^23 to 2^27 points: two split levels from 2^24 on (complex
// from 2^23 on). Slow and large (the order-27 record alone takes 1.1 GB), so
// they are built only with HEADSET_LONG_TESTS and run under the ctest label "long".
#include "sigproc/fft/complex_fft.h"
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
    EXPECT_LE(fftref::impulseSpectrumError(data, delay), fftref::tolerance(order, 1.0));

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

// The complex transform of 2^23 to 2^27 values: two split levels, the
// twiddles read from a sine table of the transform's own order.
class LongComplexOrder : public ::testing::TestWithParam<int> {};

TEST_P(LongComplexOrder, ImpulseGivesTheUnitRoots) {
    const int order = GetParam();
    const std::size_t n = std::size_t{1} << order;
    fftref::OwnedRecord<sigFftSpec_C_32fc, sigFftInitAlloc_C_32fc_generic,
                        sigFftFree_C_32fc_generic>
        spec(order, sigFftScaleInv);
    ASSERT_EQ(spec.status(), sigOk);
    EXPECT_NE(spec.get()->levelMatrix[1], 0u);

    const std::size_t delay = 5 * n / 11;
    std::vector<float> data(2 * n, 0.0f);
    data[2 * delay + 1] = 1.0f; // i at the delay
    ASSERT_EQ(sigFftFwd_CToC_32fc_generic(data.data(), data.data(), spec.get(), nullptr), sigOk);
    double worst = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        // i * exp(-i*angle) = (sin, cos)
        const double angle = 2.0 * std::numbers::pi * double((k * delay) % n) / double(n);
        worst = std::max(worst, std::fabs(data[2 * k] - std::sin(angle)));
        worst = std::max(worst, std::fabs(data[2 * k + 1] - std::cos(angle)));
    }
    EXPECT_LE(worst, fftref::tolerance(order, 1.0));
}

INSTANTIATE_TEST_SUITE_P(Orders23To27, LongComplexOrder, ::testing::Range(23, 28));

} // namespace
