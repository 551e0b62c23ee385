// The single-rate FIR members of slots 1 to 5: their set-ups' tap copies,
// their direct-path kernels (single-precision sums) against the plain sum in
// double, and the state's history across the direct and overlap paths.
#include "filter_reference.h"
#include "sigproc/core/cpu.h"
#include "sigproc/core/dispatch.h"
#include "sigproc/filters/fir_direct_slots.h"
#include "sigproc/filters/fir_tap_copies.h"
#include "sigproc/sigproc.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kSlots[] = {1, 2, 3, 4, 5};

std::int64_t align16(std::int64_t x) { return (x + 15) & ~std::int64_t{15}; }

// A state made by one slot's set-up in a caller's buffer of the queried size.
struct BufferState {
    BufferState(int slot, const std::vector<float>& taps) {
        int size = 0;
        EXPECT_EQ(sigDispatchTable.firGetStateSize_32f[slot](int(taps.size()), &size), sigOk);
        buffer.assign(std::size_t(size), 0xA5);
        EXPECT_EQ(sigDispatchTable.firInit_32f[slot](&state, taps.data(), int(taps.size()), nullptr,
                                                     buffer.data()),
                  sigOk);
    }
    std::vector<unsigned char> buffer;
    sigFirState* state = nullptr;
};

int sizeOf(int slot, int tapsLen) {
    int size = 0;
    EXPECT_EQ(sigDispatchTable.firGetStateSize_32f[slot](tapsLen, &size), sigOk);
    return size;
}

// Runs x through `process` in calls of `block` samples.
std::vector<float> runBlocks(int slot, sigFirState* state, const std::vector<float>& x,
                             const std::vector<std::size_t>& blocks) {
    std::vector<float> y(x.size());
    std::size_t at = 0;
    for (std::size_t call = 0; at < x.size(); ++call) {
        const std::size_t len = std::min(blocks[call % blocks.size()], x.size() - at);
        EXPECT_EQ(
            sigDispatchTable.firProcess_32f[slot](x.data() + at, y.data() + at, int(len), state),
            sigOk);
        at += len;
    }
    return y;
}

// Single-precision accumulation of L products: each partial sum rounds once
// per term, so the error stays below (L + 3)·eps of the products' magnitudes.
void expectWithinSingleSums(const std::vector<float>& taps, const std::vector<float>& x,
                            const std::vector<float>& y, const std::string& what) {
    const std::vector<float> reference = filter_reference::convolve(taps, x);
    std::vector<float> absTaps(taps), absX(x);
    for (float& v : absTaps) v = std::abs(v);
    for (float& v : absX) v = std::abs(v);
    const std::vector<float> magnitude = filter_reference::convolve(absTaps, absX);
    const double perTerm = (double(taps.size()) + 3.0) * FLT_EPSILON;
    for (std::size_t i = 0; i < y.size(); ++i) {
        ASSERT_LE(std::abs(double{y[i]} - reference[i]), perTerm * magnitude[i] + FLT_MIN)
            << what << " output " << i;
    }
}

TEST(FirSlotStateLayout, TapCopiesByteForByte) {
    for (int slot : kSlots) {
        for (int tapsLen : {1, 3, 4, 5, 31, 32, 33, 64, 101}) {
            const std::string what =
                "slot " + std::to_string(slot) + " taps " + std::to_string(tapsLen);
            const std::vector<float> taps =
                filter_reference::randomSignal(std::size_t(tapsLen), 20u + unsigned(tapsLen));
            BufferState made(slot, taps);
            const sigFirState* state = made.state;
            ASSERT_NE(state, nullptr) << what;

            // Replicated taps: after the delay area, then the gap.
            const std::int64_t tapsBytes = align16(4 * tapsLen);
            const std::int64_t delayBytes = (12 * std::int64_t{tapsLen} + 31) & ~15;
            EXPECT_EQ(state->polyTaps, state->delay + delayBytes) << what;
            EXPECT_EQ(state->gap, state->polyTaps + 4 * tapsBytes) << what;
            std::vector<float> replicated;
            for (float t : taps) replicated.insert(replicated.end(), 4, t);
            EXPECT_EQ(std::memcmp(sigStateArea<float>(state, state->polyTaps), replicated.data(),
                                  replicated.size() * 4),
                      0)
                << what;

            // Slots 4 and 5: four reversed copies in a zeroed area of 16·h bytes.
            const std::int64_t h = (tapsLen + 6) & ~3;
            const bool reversed = slot >= 4;
            EXPECT_EQ(state->delay - state->taps, reversed ? 16 * h : tapsBytes) << what;
            std::vector<float> expected(std::size_t(reversed ? 4 * h : tapsLen), 0.0f);
            for (int j = 0; j < (reversed ? 4 : 1); ++j) {
                for (int k = 0; k < tapsLen; ++k)
                    expected[std::size_t(j * (h + 1) + k)] = taps[std::size_t(tapsLen - 1 - k)];
            }
            EXPECT_EQ(std::memcmp(state->tapsArea(), expected.data(), expected.size() * 4), 0)
                << what;
            EXPECT_EQ(sigFirHasReversedCopies(state), reversed) << what;

            // The size grows by the replicated area, and for slots 4 and 5 by
            // 16·h (below 64 taps, where no slot's FFT record enters it).
            if (tapsLen < 64) {
                EXPECT_EQ(sizeOf(slot, tapsLen),
                          sizeOf(0, tapsLen) + 4 * tapsBytes + (reversed ? 16 * h : 0))
                    << what;
            }
        }
    }
}

// The copies make a slot's state several times larger than the generic one;
// a tap count whose size the 32-bit count cannot carry is refused, not wrapped.
TEST(FirSlotStateLayout, OversizedStatesAreRefused) {
    for (int slot : kSlots) {
        int size = -1;
        EXPECT_EQ(sigDispatchTable.firGetStateSize_32f[slot](100'000'000, &size), sigErrFirLength)
            << slot;
        EXPECT_EQ(size, -1) << slot;
    }
}

TEST(FirSlotStateLayout, LibraryBlockHasTheSameCopies) {
    const std::vector<float> taps = filter_reference::randomSignal(70, 5u);
    for (int slot : kSlots) {
        sigFirState* state = nullptr;
        ASSERT_EQ(sigDispatchTableA.firInitAlloc_32f[slot](&state, taps.data(), 70, nullptr),
                  sigOk);
        BufferState made(slot, taps);
        const std::size_t tapsBytes =
            slot >= 4 ? std::size_t(made.state->delay - made.state->taps) : 70 * 4;
        EXPECT_EQ(std::memcmp(state->tapsArea(), made.state->tapsArea(), tapsBytes), 0) << slot;
        EXPECT_EQ(std::memcmp(sigStateArea<float>(state, state->polyTaps),
                              sigStateArea<float>(made.state, made.state->polyTaps), 70 * 16),
                  0)
            << slot;
        EXPECT_EQ(sigFirFree_32f(state), sigOk);
    }
}

// Tap counts on both sides of the 32 at which slots 4 and 5 change copies,
// calls shorter and longer than the head, windows at every alignment.
TEST(FirSlotDirectPath, WithinSingleSumsOfThePlainFilter) {
    const std::vector<float> x = filter_reference::randomSignal(700, 31u);
    const std::vector<std::vector<std::size_t>> blockings = {{1}, {3, 48, 7}, {200, 5}, {511}};
    for (int slot : kSlots) {
        for (int tapsLen = 1; tapsLen <= 140; ++tapsLen) {
            const std::vector<float> taps =
                filter_reference::randomSignal(std::size_t(tapsLen), 7u + unsigned(tapsLen));
            for (const auto& blocks : blockings) {
                BufferState made(slot, taps);
                const std::vector<float> y = runBlocks(slot, made.state, x, blocks);
                expectWithinSingleSums(taps, x, y,
                                       "slot " + std::to_string(slot) + " taps " +
                                           std::to_string(tapsLen) + " block " +
                                           std::to_string(blocks[0]));
                if (HasFatalFailure()) return;
            }
        }
    }
}

// A stream that alternates long calls on the overlap path with short direct
// ones continues without a break.
TEST(FirSlotDirectPath, HistoryCarriesAcrossBothPaths) {
    const std::vector<float> x = filter_reference::randomSignal(4000, 41u);
    for (int slot : kSlots) {
        for (int tapsLen : {66, 101, 132}) {
            const std::vector<float> taps =
                filter_reference::randomSignal(std::size_t(tapsLen), 42u);
            BufferState made(slot, taps);
            ASSERT_GT(made.state->fftLen, 0);
            const std::vector<float> y = runBlocks(slot, made.state, x, {600, 37, 1, 900, 130});
            const std::vector<float> reference = filter_reference::convolve(taps, x);
            double energy = 0.0;
            for (float t : taps) energy += double{t} * t;
            const double tol =
                8.0 * FLT_EPSILON * std::log2(made.state->fftLen) * std::sqrt(energy) +
                (tapsLen + 3) * FLT_EPSILON * tapsLen;
            for (std::size_t i = 0; i < y.size(); ++i)
                ASSERT_NEAR(y[i], reference[i], tol) << slot << " " << tapsLen << " " << i;
            // The state's history is the last inputs, oldest first.
            EXPECT_EQ(std::memcmp(made.state->delayArea(), x.data() + x.size() - tapsLen,
                                  std::size_t(tapsLen) * 4),
                      0);
        }
    }
}

// A state without a slot's copies (the generic set-up's) is filtered exactly
// as the generic member does; a slot's state at level 0 the same, since its
// first reversed copy is the generic taps area.
TEST(FirSlotDirectPath, StatesOfOtherSetUpsStayExact) {
    const std::vector<float> x = filter_reference::randomSignal(300, 51u);
    for (int slot : kSlots) {
        for (int tapsLen : {7, 40}) {
            const std::vector<float> taps =
                filter_reference::randomSignal(std::size_t(tapsLen), 52u);
            const std::vector<float> reference = filter_reference::convolve(taps, x);
            BufferState generic(0, taps);
            EXPECT_EQ(runBlocks(slot, generic.state, x, {64}), reference) << slot;
            BufferState own(slot, taps);
            EXPECT_EQ(runBlocks(0, own.state, x, {64}), reference) << slot;
            // Slot 2's state has no reversed copies for slots 4 and 5 to read.
            BufferState replicatedOnly(2, taps);
            const std::vector<float> y = runBlocks(slot, replicatedOnly.state, x, {64});
            if (slot >= 4 && tapsLen >= sigFirReversedMinTaps) {
                EXPECT_EQ(y, reference) << slot;
            }
        }
    }
}

TEST(FirSlotDirectPath, ChecksAreTheGenericOnes) {
    const std::vector<float> taps(8, 0.25f);
    const std::vector<float> x(16, 1.0f);
    std::vector<float> y(16, 7.0f);
    for (int slot : kSlots) {
        auto* process = sigDispatchTable.firProcess_32f[slot];
        BufferState made(slot, taps);
        EXPECT_EQ(process(nullptr, y.data(), 16, made.state), sigErrNullPtr);
        EXPECT_EQ(process(x.data(), nullptr, 16, made.state), sigErrNullPtr);
        EXPECT_EQ(process(x.data(), y.data(), 0, made.state), sigErrLength);
        EXPECT_EQ(process(x.data(), y.data(), 16, nullptr), sigErrNullPtr);
        made.state->id = 0x12345678;
        EXPECT_EQ(process(x.data(), y.data(), 16, made.state), sigErrStateMismatch);
        EXPECT_EQ(y, std::vector<float>(16, 7.0f)) << "nothing written on a refusal";
    }
}

TEST(FirSlotDirectPath, EntryPointAtTheSlotsLevel) {
    const std::vector<float> taps = filter_reference::randomSignal(101, 61u);
    const std::vector<float> x = filter_reference::randomSignal(480, 62u);
    for (int slot : kSlots) {
        if (sigCpuLevelOf(sigCpuReadSnapshot()).level < slot) continue;
        BufferState made(slot, taps);
        std::vector<float> y(x.size());
        sigCpuLevel.store(slot);
        int status = sigOk;
        for (std::size_t at = 0; at < x.size(); at += 48)
            status |= sigFirProcess_32f(x.data() + at, y.data() + at, 48, made.state);
        sigCpuLevel.store(0);
        EXPECT_EQ(status, sigOk);
        expectWithinSingleSums(taps, x, y, "level " + std::to_string(slot));
    }
}

} // namespace
