// Single-rate FIR states in a caller's buffer: sizes, layout, the FFT part of
// long filters, and the refusals.
#include "sigproc/filters/fir_state.h"
#include "sigproc/sigproc.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <numeric>
#include <vector>

namespace {

using testkit::GuardedBuffer;

sigFirState* const kUnwritten = reinterpret_cast<sigFirState*>(std::uintptr_t{0x5A5A5A50});

int sizeFor(int tapsLen) {
    int size = -1;
    EXPECT_EQ(sigFirGetStateSize_32f(tapsLen, &size), sigOk) << tapsLen;
    return size;
}

std::vector<float> rampTaps(int tapsLen) {
    std::vector<float> taps(static_cast<std::size_t>(tapsLen));
    for (int k = 0; k < tapsLen; ++k)
        taps[static_cast<std::size_t>(k)] =
            1.0f + 0.5f * static_cast<float>(k % 7) - 0.01f * static_cast<float>(k);
    return taps;
}

TEST(FirSetup, SizesOfShortAndLongFilters) {
    EXPECT_EQ(sizeFor(1), 16576);
    EXPECT_EQ(sizeFor(20), 16864);
    EXPECT_EQ(sizeFor(24), 16928);
    EXPECT_EQ(sizeFor(63), 17568);  // the longest filter without an FFT part
    EXPECT_EQ(sizeFor(101), 22592); // FFT length 256
    EXPECT_EQ(sizeFor(256), 37728); // FFT length 1024
}

TEST(FirSetup, TapCountsWhoseStateCannotBeSizedAreRefused) {
    int size = -1;
    EXPECT_EQ(sigFirGetStateSize_32f(0, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigFirGetStateSize_32f(0, &size), sigErrFirLength);
    EXPECT_EQ(sigFirGetStateSize_32f(-20, &size), sigErrFirLength);
    for (int tapsLen : {INT_MAX, INT_MAX / 4, 1 << 27}) {
        EXPECT_EQ(sigFirGetStateSize_32f(tapsLen, &size), sigErrFirLength) << tapsLen;
        GuardedBuffer<unsigned char> buffer(256);
        sigFirState* state = kUnwritten;
        const float tap = 1.0f;
        EXPECT_EQ(sigFirInit_32f(&state, &tap, tapsLen, nullptr, buffer.data()), sigErrFirLength);
        EXPECT_EQ(state, kUnwritten);
        EXPECT_TRUE(buffer.unchanged());
    }
    EXPECT_EQ(size, -1);
}

TEST(FirSetup, ArgumentChecksComeInOrderAndWriteNothing) {
    GuardedBuffer<unsigned char> buffer(static_cast<std::size_t>(sizeFor(4)));
    const float taps[4] = {1, 2, 3, 4};
    sigFirState* state = kUnwritten;
    EXPECT_EQ(sigFirInit_32f(nullptr, taps, 0, nullptr, buffer.data()), sigErrNullPtr);
    EXPECT_EQ(sigFirInit_32f(&state, nullptr, 0, nullptr, buffer.data()), sigErrNullPtr);
    EXPECT_EQ(sigFirInit_32f(&state, taps, 0, nullptr, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigFirInit_32f(&state, taps, 0, nullptr, buffer.data()), sigErrFirLength);
    EXPECT_EQ(sigFirInit_32f(&state, taps, -1, nullptr, buffer.data()), sigErrFirLength);
    EXPECT_EQ(state, kUnwritten);
    EXPECT_TRUE(buffer.unchanged());
}

// At every misalignment the state starts at the next multiple of 16 and all
// of it, FFT part included, lies inside the size the query gave.
TEST(FirSetup, StateFitsItsSizeAtAnyBufferAddress) {
    for (int tapsLen : {3, 63, 64, 256}) {
        const std::vector<float> taps = rampTaps(tapsLen);
        const int size = sizeFor(tapsLen);
        for (std::size_t misalign : {0u, 1u, 4u, 8u, 15u}) {
            GuardedBuffer<unsigned char> buffer(static_cast<std::size_t>(size), misalign);
            sigFirState* state = nullptr;
            ASSERT_EQ(sigFirInit_32f(&state, taps.data(), tapsLen, nullptr, buffer.data()), sigOk);
            const auto offset = reinterpret_cast<std::uintptr_t>(state) -
                                reinterpret_cast<std::uintptr_t>(buffer.data());
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(state) % 16, 0u);
            EXPECT_LT(offset, 16u);
            for (std::uint32_t area : {state->taps, state->delay, state->gap, state->block,
                                       state->spare, state->fftTaps, state->fftSpec}) {
                EXPECT_LT(area, static_cast<std::uint32_t>(size) - offset);
            }
            EXPECT_EQ(state->spare + 16384,
                      static_cast<std::uint32_t>(size) - 16); // the spare area ends the state
            EXPECT_TRUE(buffer.guardsIntact()) << tapsLen << " taps at +" << misalign;
        }
    }
}

TEST(FirSetup, TapsAreStoredReversedAndTheDelayLineOldestFirst) {
    std::vector<unsigned char> buffer(static_cast<std::size_t>(sizeFor(3)));
    const float taps[3] = {1.0f, 2.0f, 3.0f};
    const float dly[3] = {1.0f, 2.0f, 3.0f};
    sigFirState* state = nullptr;
    ASSERT_EQ(sigFirInit_32f(&state, taps, 3, dly, buffer.data()), sigOk);
    EXPECT_EQ(std::vector<float>(state->tapsArea(), state->tapsArea() + 3),
              (std::vector<float>{3, 2, 1}));
    EXPECT_EQ(std::vector<float>(state->delayArea(), state->delayArea() + 3),
              (std::vector<float>{3, 2, 1}));
    ASSERT_EQ(sigFirInit_32f(&state, taps, 3, nullptr, buffer.data()), sigOk);
    EXPECT_EQ(std::vector<float>(state->delayArea(), state->delayArea() + 3),
              (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(state->id, sigFirIdSingleRate);
    EXPECT_EQ(state->allocated, 0);
    EXPECT_EQ(state->delayLen, 3);
    EXPECT_EQ(state->delayIndex, 0);
    EXPECT_EQ(state->polyTaps, 0u);
    EXPECT_EQ(state->phaseTable, 0u);
    EXPECT_EQ(state->fftWorkBytes, 0);
}

TEST(FirSetup, HeadLengthRoundsTheTapCountUpToFourPlusOne) {
    const std::vector<std::pair<int, int>> cases = {{1, 5},   {4, 5},   {5, 9},    {8, 9},
                                                    {20, 21}, {24, 25}, {101, 105}};
    for (const auto& [tapsLen, head] : cases) {
        std::vector<unsigned char> buffer(static_cast<std::size_t>(sizeFor(tapsLen)));
        const std::vector<float> taps = rampTaps(tapsLen);
        sigFirState* state = nullptr;
        ASSERT_EQ(sigFirInit_32f(&state, taps.data(), tapsLen, nullptr, buffer.data()), sigOk);
        EXPECT_EQ(state->headLen, head) << tapsLen << " taps";
    }
}

// Multi-rate words of a single-rate state keep what the buffer held.
TEST(FirSetup, WordsOfOtherStateKindsAreLeftAsFound) {
    std::vector<unsigned char> buffer(static_cast<std::size_t>(sizeFor(5)) + 16, 0xAB);
    const std::vector<float> taps = rampTaps(5);
    sigFirState* state = nullptr;
    ASSERT_EQ(sigFirInit_32f(&state, taps.data(), 5, nullptr, buffer.data()), sigOk);
    for (std::int32_t word : {state->up, state->down, state->headOut, state->rowLen, state->mode,
                              state->upPhase, state->downPhase}) {
        EXPECT_EQ(static_cast<std::uint32_t>(word), 0xABABABABu);
    }
}

TEST(FirSetup, FiltersFrom64TapsGetTheSpectrumOfTheirTaps) {
    for (const auto& [tapsLen, fftLen] : std::vector<std::pair<int, int>>{
             {63, -1}, {64, 256}, {127, 256}, {128, 512}, {256, 1024}}) {
        std::vector<unsigned char> buffer(static_cast<std::size_t>(sizeFor(tapsLen)));
        const std::vector<float> taps = rampTaps(tapsLen);
        sigFirState* state = nullptr;
        ASSERT_EQ(sigFirInit_32f(&state, taps.data(), tapsLen, nullptr, buffer.data()), sigOk);
        ASSERT_EQ(state->fftLen, fftLen) << tapsLen << " taps";
        if (fftLen < 0) {
            EXPECT_EQ(state->fftSpec, 0u);
            EXPECT_EQ(state->fftTaps, 0u);
            EXPECT_EQ(state->fftWork, 0u);
            continue;
        }
        EXPECT_NE(state->spec(), nullptr);
        // DC is the taps' sum, Nyquist their alternating sum; bin 1 is the
        // taps against one period of the FFT length.
        double dc = 0.0, nyquist = 0.0, re1 = 0.0, im1 = 0.0;
        for (int k = 0; k < tapsLen; ++k) {
            dc += taps[static_cast<std::size_t>(k)];
            nyquist += (k % 2 == 0 ? 1.0 : -1.0) * taps[static_cast<std::size_t>(k)];
            re1 += taps[static_cast<std::size_t>(k)] * std::cos(2 * M_PI * k / fftLen);
            im1 -= taps[static_cast<std::size_t>(k)] * std::sin(2 * M_PI * k / fftLen);
        }
        const float* spectrum = state->fftTapsArea();
        const double tol = 1e-5 * dc;
        EXPECT_NEAR(spectrum[0], dc, tol);
        EXPECT_NEAR(spectrum[1], nyquist, tol);
        EXPECT_NEAR(spectrum[2], re1, tol);
        EXPECT_NEAR(spectrum[3], im1, tol);
    }
}

} // namespace
