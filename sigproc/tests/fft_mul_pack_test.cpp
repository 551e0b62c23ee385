// Products of packed real spectra, and fast convolution through them.
#include "sigproc/fft/real_fft.h"
#include "sigproc/sigproc.h"
#include "sigproc/tests/fft_reference.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using fftref::OwnedSpec;

// The product of packed spectra by their definition, each bin rounded once.
std::vector<float> packedProduct(const std::vector<float>& a, const std::vector<float>& b) {
    const std::size_t len = a.size();
    std::vector<float> p(len);
    p[0] = float(double(a[0]) * b[0]);
    std::size_t first = 1;
    if (len % 2 == 0) {
        p[1] = float(double(a[1]) * b[1]);
        first = 2;
    }
    for (std::size_t i = first; i + 1 < len; i += 2) {
        const std::complex<double> x(a[i], a[i + 1]), y(b[i], b[i + 1]);
        const std::complex<double> z = x * y;
        p[i] = float(z.real());
        p[i + 1] = float(z.imag());
    }
    return p;
}

TEST(MulPack, ShortLengthsSplitIntoRealsAndPairs) {
    EXPECT_EQ(packedProduct({3}, {-2}), (std::vector<float>{-6}));
    const std::vector<float> a{2, 3, 4, 5}, b{7, 11, 13, 17};
    for (int len = 1; len <= 4; ++len) {
        const std::vector<float> x(a.begin(), a.begin() + len), y(b.begin(), b.begin() + len);
        std::vector<float> out(std::size_t(len), 99.0f);
        ASSERT_EQ(sigMulPack_32f(x.data(), y.data(), out.data(), len), sigOk);
        std::vector<float> inPlace = y;
        ASSERT_EQ(sigMulPackInPlace_32f(x.data(), inPlace.data(), len), sigOk);
        EXPECT_EQ(out, inPlace) << len;
        switch (len) {
        case 1:
            EXPECT_EQ(out, (std::vector<float>{14}));
            break;
        case 2:
            EXPECT_EQ(out, (std::vector<float>{14, 33}));
            break;
        case 3:
            EXPECT_EQ(out, (std::vector<float>{14, 3 * 11 - 4 * 13, 3 * 13 + 4 * 11}));
            break; // one pair at 1..2
        case 4:
            EXPECT_EQ(out, (std::vector<float>{14, 33, 4 * 13 - 5 * 17, 4 * 17 + 5 * 13}));
            break;
        }
    }
}

TEST(MulPack, EveryBinIsRoundedOnce) {
    for (int len : {63, 64, 1024}) {
        const std::vector<float> a = fftref::randomSignal(std::size_t(len), 1),
                                 b = fftref::randomSignal(std::size_t(len), 2);
        std::vector<float> out(a.size());
        ASSERT_EQ(sigMulPack_32f(a.data(), b.data(), out.data(), len), sigOk);
        EXPECT_EQ(out, packedProduct(a, b)) << len;
    }
}

// Writing the product over either source gives the same result as writing
// it elsewhere: every operand of a bin is read before the bin is written.
TEST(MulPack, OutputMayBeEitherSource) {
    const std::vector<float> a = fftref::randomSignal(257, 3), b = fftref::randomSignal(257, 4);
    const std::vector<float> expected = packedProduct(a, b);
    std::vector<float> overFirst = a, overSecond = b;
    ASSERT_EQ(sigMulPack_32f(overFirst.data(), b.data(), overFirst.data(), 257), sigOk);
    ASSERT_EQ(sigMulPack_32f(a.data(), overSecond.data(), overSecond.data(), 257), sigOk);
    EXPECT_EQ(overFirst, expected);
    EXPECT_EQ(overSecond, expected);

    std::vector<float> square = a;
    ASSERT_EQ(sigMulPackInPlace_32f(square.data(), square.data(), 257), sigOk);
    EXPECT_EQ(square, packedProduct(a, a));
    std::vector<float> both = a;
    ASSERT_EQ(sigMulPack_32f(both.data(), both.data(), both.data(), 257), sigOk);
    EXPECT_EQ(both, packedProduct(a, a));
}

// The product of two forward transforms, transformed back with 1/N, is the
// circular convolution of the two signals. Rounding errors of the three
// transforms add up in the spectrum, whose energy is that of the result.
TEST(MulPack, FastConvolutionIsCircularConvolution) {
    for (int order : {4, 8, 10, 14}) {
        const std::size_t n = std::size_t{1} << order;
        OwnedSpec spec(order, sigFftScaleInv);
        const std::vector<float> x = fftref::randomSignal(n, 5), h = fftref::randomSignal(n, 6);
        std::vector<float> fx = x, fh = h;
        ASSERT_EQ(sigFftFwdInPlace_R_32f(fx.data(), spec.get(), nullptr), sigOk);
        ASSERT_EQ(sigFftFwdInPlace_R_32f(fh.data(), spec.get(), nullptr), sigOk);
        ASSERT_EQ(sigMulPackInPlace_32f(fh.data(), fx.data(), int(n)), sigOk);
        ASSERT_EQ(sigFftInvInPlace_R_32f(fx.data(), spec.get(), nullptr), sigOk);

        const std::vector<double> expected =
            fftref::circularConvolution(fftref::widen(x), fftref::widen(h));
        EXPECT_LE(fftref::largestError(fx, expected),
                  fftref::tolerance(3 * order, fftref::euclideanNorm(expected)))
            << order;
        if (order == 4) {
            for (std::size_t i = 0; i < n; ++i) { // against the definition too
                double direct = 0.0;
                for (std::size_t j = 0; j < n; ++j) direct += double(x[j]) * h[(i + n - j) % n];
                EXPECT_NEAR(expected[i], direct, 1e-12);
            }
        }
    }
}

TEST(MulPack, StatusesAndNothingWrittenOnError) {
    float a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8}, out[4] = {9, 9, 9, 9};
    for (int len : {-1, 0, 4}) {
        EXPECT_EQ(sigMulPack_32f(nullptr, b, out, len), sigErrNullPtr);
        EXPECT_EQ(sigMulPack_32f(a, nullptr, out, len), sigErrNullPtr);
        EXPECT_EQ(sigMulPack_32f(a, b, nullptr, len), sigErrNullPtr);
        EXPECT_EQ(sigMulPackInPlace_32f(nullptr, out, len), sigErrNullPtr);
        EXPECT_EQ(sigMulPackInPlace_32f(a, nullptr, len), sigErrNullPtr);
    }
    EXPECT_EQ(sigMulPack_32f(a, b, out, 0), sigErrLength);
    EXPECT_EQ(sigMulPackInPlace_32f(a, out, -3), sigErrLength);
    for (float v : out) EXPECT_EQ(v, 9.0f);
}

} // namespace
