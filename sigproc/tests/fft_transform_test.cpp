// The real transforms against double-precision references: the definition for
// orders 0 to 12, an independent double FFT, impulses and round trips beyond.
#include "sigproc/fft/real_fft.h"
#include "sigproc/sigproc.h"
#include "sigproc/tests/fft_reference.h"
#include "testkit/float_bits.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using fftref::OwnedSpec;
using testkit::GuardedBuffer;

std::vector<float> forward(const OwnedSpec& spec, const std::vector<float>& x) {
    std::vector<float> out(x.size());
    EXPECT_EQ(sigFftFwd_R_32f(x.data(), out.data(), spec.get(), nullptr), sigOk);
    return out;
}

std::vector<float> inverse(const OwnedSpec& spec, const std::vector<float>& packed) {
    std::vector<float> out(packed.size());
    EXPECT_EQ(sigFftInv_R_32f(packed.data(), out.data(), spec.get(), nullptr), sigOk);
    return out;
}

std::vector<double> scaled(std::vector<double> v, double factor) {
    for (double& d : v) d *= factor;
    return v;
}

// Random input of the given order under every flag against the definition,
// computed in double.
void expectMatchesTheDefinition(int order, bool inverseDirection) {
    const std::size_t n = std::size_t{1} << order;
    for (int flag : fftref::kFlags) {
        OwnedSpec spec(order, flag);
        ASSERT_EQ(spec.status(), sigOk);
        const std::vector<float> input =
            fftref::randomSignal(n, (inverseDirection ? 200u : 100u) + unsigned(order));
        const std::vector<double> expected =
            inverseDirection ? scaled(fftref::naiveInverse(fftref::widen(input)),
                                      fftref::inverseScale(flag, order))
                             : scaled(fftref::pack(fftref::naiveDft(fftref::widen(input))),
                                      fftref::forwardScale(flag, order));
        const std::vector<float> result =
            inverseDirection ? inverse(spec, input) : forward(spec, input);
        const double bound = fftref::tolerance(order, fftref::largestMagnitude(expected));
        EXPECT_LE(fftref::largestError(result, expected), bound)
            << "order " << order << " flag " << flag;
    }
}

class EveryOrderAndFlag : public ::testing::TestWithParam<int> {};

TEST_P(EveryOrderAndFlag, ForwardMatchesTheDefinition) {
    expectMatchesTheDefinition(GetParam(), false);
}

TEST_P(EveryOrderAndFlag, InverseMatchesTheDefinition) {
    expectMatchesTheDefinition(GetParam(), true);
}

INSTANTIATE_TEST_SUITE_P(Orders0To12, EveryOrderAndFlag, ::testing::Range(0, 13));

TEST(FftTransform, WorkedExamplesOfTheClosedForms) {
    OwnedSpec four(2, sigFftScaleNone);
    EXPECT_EQ(forward(four, {3, 1, 4, 1}), (std::vector<float>{9, 5, -1, 0}));
    EXPECT_EQ(inverse(four, {9, 5, -1, 0}), (std::vector<float>{12, 4, 16, 4}));

    OwnedSpec eight(3, sigFftScaleNone);
    const std::vector<float> x{3, 1, 4, 1, 5, 9, 2, 6};
    const std::vector<float> spectrum = forward(eight, x);
    const std::vector<double> expected{31, -3, -4.1213, 7.1924, 2, -3, 0.1213, 11.1924};
    for (std::size_t i = 0; i < 8; ++i) EXPECT_NEAR(spectrum[i], expected[i], 5e-5) << i;
    const std::vector<float> back = inverse(eight, spectrum);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_NEAR(back[i], 8 * x[i], 1e-4) << i;

    OwnedSpec two(1, sigFftScaleNone);
    EXPECT_EQ(forward(two, {5, 2}), (std::vector<float>{7, 3}));
    EXPECT_EQ(inverse(two, {5, 2}), (std::vector<float>{7, 3}));
    OwnedSpec one(0, sigFftScaleBothSqrt);
    EXPECT_EQ(forward(one, {-2.5f}), (std::vector<float>{-2.5f}));
}

// Beyond order 12 the definition is too slow; an independent double FFT stands in.
class LargeOrder : public ::testing::TestWithParam<int> {};

TEST_P(LargeOrder, ForwardMatchesAReferenceFft) {
    const int order = GetParam();
    OwnedSpec spec(order, sigFftScaleNone);
    ASSERT_EQ(spec.status(), sigOk);
    const std::vector<float> x =
        fftref::randomSignal(std::size_t{1} << order, 300u + unsigned(order));
    const std::vector<double> expected = fftref::pack(fftref::referenceFft(fftref::widen(x)));
    const double bound = fftref::tolerance(order, fftref::largestMagnitude(expected));
    EXPECT_LE(fftref::largestError(forward(spec, x), expected), bound);
}

TEST_P(LargeOrder, ImpulsesGiveTheUnitRoots) {
    const int order = GetParam();
    const std::size_t n = std::size_t{1} << order;
    OwnedSpec spec(order, sigFftScaleInv);
    ASSERT_EQ(spec.status(), sigOk);
    for (std::size_t delay : {std::size_t{0}, std::size_t{1}, n / 2 - 1, std::size_t{12345} % n}) {
        std::vector<float> data(n, 0.0f);
        data[delay] = 1.0f;
        ASSERT_EQ(sigFftFwdInPlace_R_32f(data.data(), spec.get(), nullptr), sigOk);
        std::vector<double> expected(n);
        expected[0] = 1.0;
        expected[1] = delay % 2 == 0 ? 1.0 : -1.0;
        for (std::size_t k = 1; k < n / 2; ++k) {
            const double angle = -2.0 * std::numbers::pi * double((k * delay) % n) / double(n);
            expected[2 * k] = std::cos(angle);
            expected[2 * k + 1] = std::sin(angle);
        }
        EXPECT_LE(fftref::largestError(data, expected), fftref::tolerance(order, 1.0))
            << "delay " << delay;
        // And back: the scaled inverse restores the impulse.
        ASSERT_EQ(sigFftInvInPlace_R_32f(data.data(), spec.get(), nullptr), sigOk);
        std::vector<double> impulse(n, 0.0);
        impulse[delay] = 1.0;
        EXPECT_LE(fftref::largestError(data, impulse), fftref::tolerance(order, 1.0))
            << "delay " << delay;
    }
}

TEST_P(LargeOrder, RoundTripsRestoreTheSignalUnderEveryFlag) {
    const int order = GetParam();
    const std::size_t n = std::size_t{1} << order;
    const std::vector<float> x = fftref::randomSignal(n, 400u + unsigned(order));
    for (int flag : fftref::kFlags) {
        OwnedSpec spec(order, flag);
        ASSERT_EQ(spec.status(), sigOk);
        std::vector<float> data = x;
        ASSERT_EQ(sigFftFwdInPlace_R_32f(data.data(), spec.get(), nullptr), sigOk);
        ASSERT_EQ(sigFftInvInPlace_R_32f(data.data(), spec.get(), nullptr), sigOk);
        const double gain = flag == sigFftScaleNone ? double(n) : 1.0;
        const std::vector<double> expected = scaled(fftref::widen(x), gain);
        EXPECT_LE(fftref::largestError(data, expected), fftref::tolerance(2 * order, gain))
            << "flag " << flag;
    }
}

INSTANTIATE_TEST_SUITE_P(Orders13To22, LargeOrder, ::testing::Range(13, 23));

TEST(FftTransform, RoundTripsOfTheOneBlockOrders) {
    for (int order = 4; order <= 12; ++order) {
        const std::size_t n = std::size_t{1} << order;
        const std::vector<float> x = fftref::randomSignal(n, 500u + unsigned(order));
        OwnedSpec spec(order, sigFftScaleNone);
        std::vector<float> data = x;
        ASSERT_EQ(sigFftFwdInPlace_R_32f(data.data(), spec.get(), nullptr), sigOk);
        ASSERT_EQ(sigFftInvInPlace_R_32f(data.data(), spec.get(), nullptr), sigOk);
        EXPECT_LE(fftref::largestError(data, scaled(fftref::widen(x), double(n))),
                  fftref::tolerance(2 * order, double(n)))
            << "order " << order;
    }
}

TEST(FftTransform, AlternatingSignalHasOnlyANyquistBin) {
    for (int order = 1; order <= 16; ++order) {
        const std::size_t n = std::size_t{1} << order;
        OwnedSpec spec(order, sigFftScaleNone);
        std::vector<float> data(n);
        for (std::size_t i = 0; i < n; ++i) data[i] = i % 2 == 0 ? 1.0f : -1.0f;
        ASSERT_EQ(sigFftFwdInPlace_R_32f(data.data(), spec.get(), nullptr), sigOk);
        std::vector<double> expected(n, 0.0);
        expected[1] = double(n);
        EXPECT_LE(fftref::largestError(data, expected), fftref::tolerance(order, double(n)))
            << "order " << order;
        EXPECT_EQ(data[1], float(n)) << "order " << order;
    }
}

// In place and out of place run the same arithmetic; out of place never writes its source.
TEST(FftTransform, InPlaceEqualsOutOfPlaceBitForBit) {
    for (int order = 0; order <= 16; ++order) {
        const std::size_t n = std::size_t{1} << order;
        OwnedSpec spec(order, sigFftScaleBothSqrt);
        ASSERT_EQ(spec.status(), sigOk);
        const std::vector<float> x = fftref::randomSignal(n, 600u + unsigned(order));
        for (bool inverseDirection : {false, true}) {
            auto run = inverseDirection ? sigFftInv_R_32f : sigFftFwd_R_32f;
            GuardedBuffer<float> src(n, 4);
            std::memcpy(src.data(), x.data(), n * sizeof(float));
            src.snapshot();
            GuardedBuffer<float> dst(n, 12);
            ASSERT_EQ(run(src.data(), dst.data(), spec.get(), nullptr), sigOk);
            EXPECT_TRUE(src.unchanged());
            EXPECT_TRUE(src.guardsIntact());
            EXPECT_TRUE(dst.guardsIntact());

            std::vector<float> inPlace = x;
            ASSERT_EQ(run(inPlace.data(), inPlace.data(), spec.get(), nullptr), sigOk);
            EXPECT_EQ(std::memcmp(inPlace.data(), dst.data(), n * sizeof(float)), 0)
                << "order " << order << (inverseDirection ? " inverse" : " forward");
        }
    }
}

TEST(FftTransform, PackedLayoutPutsDcAndNyquistFirst) {
    // A constant has only DC; a cosine at bin k has only Re X[k].
    constexpr int kOrder = 6;
    constexpr std::size_t kN = 64;
    OwnedSpec spec(kOrder, sigFftScaleNone);
    std::vector<float> data(kN, 0.5f);
    ASSERT_EQ(sigFftFwdInPlace_R_32f(data.data(), spec.get(), nullptr), sigOk);
    EXPECT_EQ(data[0], 32.0f);
    for (std::size_t i = 1; i < kN; ++i) EXPECT_NEAR(data[i], 0.0f, 1e-5) << i;

    for (std::size_t i = 0; i < kN; ++i)
        data[i] = float(std::cos(2 * std::numbers::pi * 5 * double(i) / kN));
    ASSERT_EQ(sigFftFwdInPlace_R_32f(data.data(), spec.get(), nullptr), sigOk);
    for (std::size_t i = 0; i < kN; ++i) EXPECT_NEAR(data[i], i == 10 ? 32.0 : 0.0, 1e-4) << i;

    // The inverse reads the same layout: DC and Nyquist alone give 1 +- 1.
    std::vector<float> packed(kN, 0.0f);
    packed[0] = 3.0f;
    packed[1] = 1.0f;
    ASSERT_EQ(sigFftInvInPlace_R_32f(packed.data(), spec.get(), nullptr), sigOk);
    for (std::size_t i = 0; i < kN; ++i) EXPECT_EQ(packed[i], i % 2 == 0 ? 4.0f : 2.0f) << i;
}

} // namespace
