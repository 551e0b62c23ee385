// Single-rate FIR processing against a naive double convolution: the direct
// path bit for bit, the FFT overlap path within a derived bound, across call
// splits and the boundaries between the paths.
#include "filter_reference.h"
#include "sigproc/filters/fir_state.h"
#include "sigproc/sigproc.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

using filter_reference::convolve;
using filter_reference::randomSignal;

// A single-rate state in a buffer of the size the query gives.
struct BufferFir {
    explicit BufferFir(const std::vector<float>& taps, const float* dlyLine = nullptr) {
        int size = 0;
        EXPECT_EQ(sigFirGetStateSize_32f(static_cast<int>(taps.size()), &size), sigOk);
        buffer.resize(static_cast<std::size_t>(size));
        EXPECT_EQ(sigFirInit_32f(&state, taps.data(), static_cast<int>(taps.size()), dlyLine,
                                 buffer.data()),
                  sigOk);
    }
    // Filters x in calls of the given lengths, repeated until x is used up.
    std::vector<float> run(const std::vector<float>& x, const std::vector<std::size_t>& lengths) {
        std::vector<float> y(x.size());
        for (std::size_t at = 0, i = 0; at < x.size(); ++i) {
            const std::size_t len = std::min(lengths[i % lengths.size()], x.size() - at);
            EXPECT_EQ(sigFirProcess_32f(x.data() + at, y.data() + at, static_cast<int>(len), state),
                      sigOk);
            at += len;
        }
        return y;
    }
    std::vector<float> run(const std::vector<float>& x) { return run(x, {x.size()}); }
    std::vector<float> history() const {
        return {state->delayArea(), state->delayArea() + state->tapsLen};
    }
    std::vector<unsigned char> buffer;
    sigFirState* state = nullptr;
};

// The rounding error of a convolution through an FFT of length M grows with
// the number of stages (log2 M) and, being normwise, with the l2 norm of the
// taps rather than their l1 norm; the largest input sets the scale.
double overlapTolerance(const std::vector<float>& taps, const std::vector<float>& x, int fftLen) {
    double energy = 0.0, peak = 0.0;
    for (float c : taps) energy += double{c} * c;
    for (float v : x) peak = std::max(peak, double{std::abs(v)});
    return 8.0 * FLT_EPSILON * std::log2(fftLen) * std::sqrt(energy) * peak;
}

void expectNear(const std::vector<float>& y, const std::vector<float>& ref, double tol) {
    ASSERT_EQ(y.size(), ref.size());
    for (std::size_t n = 0; n < y.size(); ++n) ASSERT_NEAR(y[n], ref[n], tol) << "output " << n;
}

TEST(FirProcess, DirectPathEqualsTheNaiveConvolutionBitForBit) {
    for (int tapsLen : {1, 2, 3, 4, 5, 20, 24, 63, 64, 101}) {
        const std::vector<float> taps = randomSignal(static_cast<std::size_t>(tapsLen),
                                                     40u + static_cast<std::uint32_t>(tapsLen));
        const int head = ((tapsLen + 3) & ~3) | 1;
        // Short calls, the last short one, the first long one, and a long one.
        for (int n : {1, head - 1, head, head + 1, 511}) {
            const std::vector<float> x = randomSignal(static_cast<std::size_t>(n), 7);
            BufferFir fir(taps);
            EXPECT_EQ(fir.run(x), convolve(taps, x)) << tapsLen << " taps, " << n << " samples";
        }
    }
}

TEST(FirProcess, AnyCallSplitContinuesTheStreamOnTheDirectPath) {
    const std::vector<float> x = randomSignal(3000, 8);
    std::mt19937 rng(99);
    for (int tapsLen : {1, 7, 20, 63}) {
        const std::vector<float> taps = randomSignal(static_cast<std::size_t>(tapsLen), 3);
        std::vector<std::size_t> lengths;
        for (int i = 0; i < 40; ++i) lengths.push_back(1 + rng() % 120);
        BufferFir fir(taps);
        EXPECT_EQ(fir.run(x, lengths), convolve(taps, x)) << tapsLen << " taps";
        EXPECT_EQ(fir.history(), std::vector<float>(x.end() - tapsLen, x.end()));
    }
}

TEST(FirProcess, CallerHistoryPrecedesTheFirstSample) {
    const std::vector<float> taps = randomSignal(20, 1);
    const std::vector<float> past = randomSignal(20, 2); // newest first
    const std::vector<float> x = randomSignal(50, 3);
    BufferFir fir(taps, past.data());
    EXPECT_EQ(fir.run(x, {5, 45}), convolve(taps, x, past));
}

// A unit impulse of `length` samples, and the response a FIR must give to it.
struct Impulse {
    Impulse(const std::vector<float>& taps, std::size_t length) : input(length), response(taps) {
        input[0] = 1.0f;
        response.resize(length, 0.0f);
    }
    std::vector<float> input;
    std::vector<float> response;
};

TEST(FirProcess, ImpulseReturnsTheTapsInOrderThenZeros) {
    const std::vector<float> taps = randomSignal(24, 4);
    const Impulse impulse(taps, 40);
    BufferFir fir(taps);
    EXPECT_EQ(fir.run(impulse.input, {3, 37}), impulse.response);

    BufferFir single({-1.5f});
    EXPECT_EQ(single.run({2.0f, 4.0f, -1.0f}), (std::vector<float>{-3.0f, -6.0f, 1.5f}));
    EXPECT_EQ(single.history(), std::vector<float>{-1.0f});
}

// 256 taps, FFT length 1024, 769 outputs per transform.
TEST(FirProcess, OverlapPathTakesOverAt512SamplesAndStaysWithinTheBound) {
    const std::vector<float> taps = randomSignal(256, 5, 0.2f);
    const std::vector<float> x = randomSignal(7000, 6);
    const std::vector<float> ref = convolve(taps, x);
    const double tol = overlapTolerance(taps, x, 1024);
    for (std::size_t n : {512u, 769u, 770u, 800u, 1538u, 1793u, 7000u}) {
        BufferFir fir(taps);
        ASSERT_EQ(fir.state->fftLen, 1024);
        const std::vector<float> head(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n));
        const std::vector<float> y = fir.run(head);
        SCOPED_TRACE(std::to_string(n) + " samples");
        expectNear(y, std::vector<float>(ref.begin(), ref.begin() + static_cast<std::ptrdiff_t>(n)),
                   tol);
        EXPECT_NE(y, std::vector<float>(ref.begin(), ref.begin() + static_cast<std::ptrdiff_t>(n)));
        EXPECT_EQ(fir.history(), std::vector<float>(head.end() - 256, head.end()));
    }
    BufferFir direct(taps);
    EXPECT_EQ(direct.run(std::vector<float>(x.begin(), x.begin() + 511)),
              std::vector<float>(ref.begin(), ref.begin() + 511));
}

// Both paths keep the same exact history, so a direct call after an overlap
// call is exact again, and mixed splits stay within the bound.
TEST(FirProcess, PathsShareOneHistoryAcrossCalls) {
    const std::vector<float> taps = randomSignal(100, 12, 0.3f);
    const std::vector<float> x = randomSignal(4000, 13);
    const std::vector<float> ref = convolve(taps, x);
    BufferFir fir(taps);
    ASSERT_EQ(fir.state->fftLen, 256);
    const std::vector<std::size_t> lengths = {600, 37, 1, 1200, 511, 512, 100, 1039};
    const std::vector<float> y = fir.run(x, lengths);
    expectNear(y, ref, overlapTolerance(taps, x, 256));
    // Calls 2, 3, 5 and 7 ran on the direct path.
    for (std::size_t n = 600; n < 638; ++n) EXPECT_EQ(y[n], ref[n]) << n;
    for (std::size_t n = 1838; n < 2349; ++n) ASSERT_EQ(y[n], ref[n]) << n;
}

TEST(FirProcess, FromSixtyFourTapsLongBlocksTakeTheOverlapPath) {
    const std::vector<float> x = randomSignal(1000, 19);
    for (int tapsLen : {63, 64}) {
        const std::vector<float> taps = randomSignal(static_cast<std::size_t>(tapsLen), 20);
        const std::vector<float> ref = convolve(taps, x);
        BufferFir fir(taps);
        const std::vector<float> y = fir.run(x);
        if (tapsLen == 63) {
            EXPECT_EQ(y, ref);
        } else {
            expectNear(y, ref, overlapTolerance(taps, x, 256));
            EXPECT_NE(y, ref);
        }
    }
}

TEST(FirProcess, OverlapImpulseReproducesTheTaps) {
    const std::vector<float> taps = randomSignal(64, 14);
    const Impulse impulse(taps, 1000);
    BufferFir fir(taps);
    expectNear(fir.run(impulse.input), impulse.response,
               overlapTolerance(taps, impulse.input, 256));
}

TEST(FirProcess, StateWithoutUsableFftPartFiltersDirectly) {
    const std::vector<float> taps = randomSignal(256, 15);
    const std::vector<float> x = randomSignal(2000, 16);
    BufferFir fir(taps);
    fir.state->fftLen = -1;
    EXPECT_EQ(fir.run(x, {1000}), convolve(taps, x));
}

TEST(FirProcess, RefusalsLeaveOutputAndStateUntouched) {
    BufferFir fir(randomSignal(20, 17));
    fir.run(randomSignal(30, 18));
    const std::vector<unsigned char> stateBefore = fir.buffer;
    testkit::GuardedBuffer<float> src(8), dst(8);
    EXPECT_EQ(sigFirProcess_32f(nullptr, nullptr, 0, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigFirProcess_32f(src.data(), dst.data(), 8, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigFirProcess_32f(nullptr, dst.data(), 0, fir.state), sigErrNullPtr);
    EXPECT_EQ(sigFirProcess_32f(src.data(), nullptr, 0, fir.state), sigErrNullPtr);
    EXPECT_EQ(sigFirProcess_32f(src.data(), dst.data(), 0, fir.state), sigErrLength);
    EXPECT_EQ(sigFirProcess_32f(src.data(), dst.data(), INT_MIN, fir.state), sigErrLength);
    EXPECT_EQ(fir.buffer, stateBefore);

    for (std::uint32_t id : {0u, sigFirIdMultiRate, 0x46493032u, 0x49493031u}) {
        fir.state->id = id;
        EXPECT_EQ(sigFirProcess_32f(src.data(), dst.data(), 0, fir.state), sigErrLength);
        EXPECT_EQ(sigFirProcess_32f(src.data(), dst.data(), 8, fir.state), sigErrStateMismatch)
            << std::hex << id;
    }
    fir.state->id = sigFirIdSingleRate;
    EXPECT_EQ(fir.buffer, stateBefore);
    EXPECT_TRUE(dst.unchanged());
}

} // namespace
