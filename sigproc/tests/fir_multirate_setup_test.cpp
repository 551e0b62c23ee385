// Multi-rate FIR set-up: sizes and the layout choice, the state's words and
// tables, where the state lies in the caller's buffer, and the argument checks.
#include "fir_mr_layouts.h"
#include "sigproc/filters/fir_multirate.h"
#include "sigproc/sigproc.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

using testkit::GuardedBuffer;

int sizeFor(int tapsLen, int up, int down) {
    int size = -1;
    EXPECT_EQ(sigFirMrGetStateSize_32f(tapsLen, up, down, &size), sigOk);
    return size;
}

std::vector<float> rampTaps(int tapsLen) {
    std::vector<float> taps(static_cast<std::size_t>(tapsLen));
    for (int k = 0; k < tapsLen; ++k) taps[static_cast<std::size_t>(k)] = float(k + 1) / 8.0f;
    return taps;
}

// A state made through the entry in a buffer of the queried size that holds
// `fill` before the set-up.
struct Made {
    Made(int tapsLen, int up, int upPhase, int down, int downPhase, unsigned char fill = 0x5A)
        : taps(rampTaps(tapsLen)),
          buffer(static_cast<std::size_t>(sizeFor(tapsLen, up, down)), 3, fill) {
        status = sigFirMrInit_32f(&state, taps.data(), tapsLen, up, upPhase, down, downPhase,
                                  nullptr, buffer.data());
    }
    std::vector<float> taps;
    GuardedBuffer<unsigned char> buffer;
    sigFirState* state = nullptr;
    int status;
};

TEST(FirMrSetup, SizesOfTheDriversShapesAndOfAnIndexedState) {
    EXPECT_EQ(sizeFor(66, 2, 1), 18224);
    EXPECT_EQ(sizeFor(66, 1, 2), 18576);
    EXPECT_EQ(sizeFor(132, 4, 1), 19552);
    EXPECT_EQ(sizeFor(132, 1, 4), 20592);
    EXPECT_EQ(sizeFor(10, 1, 4), 17072);
    // Both factors 1: a single-rate state of the same taps.
    for (int tapsLen : {1, 20, 63, 64, 256}) {
        int single = 0;
        ASSERT_EQ(sigFirGetStateSize_32f(tapsLen, &single), sigOk);
        EXPECT_EQ(sizeFor(tapsLen, 1, 1), single) << tapsLen;
    }
}

// The driver's converter states are dense; the counts of the head block
// follow from the row length (dense) or the history (indexed).
TEST(FirMrSetup, WordsOfTheDocumentedStates) {
    struct Case {
        int tapsLen, up, down, mode, q, rowLen, headLen, headOut;
    };
    for (const Case& c : {Case{66, 2, 1, 1, 33, 35, 40, 72}, Case{66, 1, 2, 1, 66, 72, 87, 36},
                          Case{10, 1, 4, 2, 10, -1, 21, 4}}) {
        Made made(c.tapsLen, c.up, 0, c.down, 0, 0xFF);
        ASSERT_EQ(made.status, sigOk);
        const sigFirState& s = *made.state;
        EXPECT_EQ(s.id, sigFirIdMultiRate);
        EXPECT_EQ(s.mode, c.mode) << c.tapsLen << "/" << c.up << "/" << c.down;
        EXPECT_EQ(s.delayLen, c.q);
        EXPECT_EQ(s.rowLen, c.rowLen); // an indexed state leaves it as found
        EXPECT_EQ(s.headLen, c.headLen);
        EXPECT_EQ(s.headOut, c.headOut);
        EXPECT_EQ(s.tapsLen, c.tapsLen);
        EXPECT_EQ(s.up, c.up);
        EXPECT_EQ(s.down, c.down);
        EXPECT_EQ(s.fftLen, -1);
        EXPECT_EQ(s.fftSpec, 0u);
        EXPECT_EQ(s.fftTaps, 0u);
        EXPECT_EQ(s.delayIndex, 0);
        EXPECT_EQ(s.allocated, 0);
        // Words no multi-rate path uses keep the buffer's bytes.
        for (std::uint32_t word : {s.block, s.fftWork, s.gap}) EXPECT_EQ(word, 0xFFFFFFFFu);
        EXPECT_EQ(s.fftWorkBytes, -1);
        EXPECT_EQ(std::vector<float>(s.tapsArea(), s.tapsArea() + 3),
                  (std::vector<float>{float(c.tapsLen) / 8, float(c.tapsLen - 1) / 8,
                                      float(c.tapsLen - 2) / 8}));
    }
}

TEST(FirMrSetup, LayoutFollowsTheShareOfZerosInADenseRow) {
    // up 1: dense above one half; 6 / (6 + 3·2) is exactly one half.
    EXPECT_EQ(sigFirMrChooseLayout(6, 1, 2), sigFirMrLayout::Indexed);
    EXPECT_EQ(sigFirMrChooseLayout(7, 1, 2), sigFirMrLayout::Dense);
    // up above 1: dense above 0.3; 9 / 30 is 0.3 in double and stays indexed.
    EXPECT_EQ(sigFirMrChooseLayout(10, 3, 2), sigFirMrLayout::Dense);
    EXPECT_EQ(sigFirMrChooseLayout(9, 2, 7), sigFirMrLayout::Indexed);
    EXPECT_EQ(sigFirMrChooseLayout(10, 2, 7), sigFirMrLayout::Dense);
    for (int tapsLen : {66, 132}) {
        for (int factor : {2, 4}) {
            EXPECT_EQ(sigFirMrChooseLayout(tapsLen, factor, 1), sigFirMrLayout::Dense);
            EXPECT_EQ(sigFirMrChooseLayout(tapsLen, 1, factor), sigFirMrLayout::Dense);
        }
    }
    // The size query and the set-up agree at the tie.
    Made tie(9, 2, 1, 7, 6);
    ASSERT_EQ(tie.status, sigOk);
    EXPECT_EQ(tie.state->mode, 3);
    int indexed = 0;
    ASSERT_EQ(fir_mr_layouts::kIndexed.stateSize(9, 2, 7, &indexed), sigOk);
    EXPECT_EQ(sizeFor(9, 2, 7), indexed);
    Made halves(6, 1, 0, 2, 1);
    EXPECT_EQ(halves.state->mode, 2);
    Made dense(7, 1, 0, 2, 1);
    EXPECT_EQ(dense.state->mode, 1);
}

TEST(FirMrSetup, BothFactorsOneMakeASingleRateState) {
    Made made(20, 1, 0, 1, 0);
    ASSERT_EQ(made.status, sigOk);
    EXPECT_EQ(made.state->id, sigFirIdSingleRate);
    EXPECT_EQ(made.state->headLen, 21);
    const float taps[2] = {1, 2};
    std::vector<unsigned char> buffer(static_cast<std::size_t>(sizeFor(2, 1, 1)));
    sigFirState* state = nullptr;
    EXPECT_EQ(sigFirMrInit_32f(&state, taps, 2, 1, 1, 1, 0, nullptr, buffer.data()), sigErrMrPhase);
    EXPECT_EQ(sigFirMrInit_32f(&state, taps, 2, 1, 0, 1, 1, nullptr, buffer.data()), sigErrMrPhase);
}

// Every layout and shape lies inside the size the query gave, wherever the
// buffer starts; the state begins at the next multiple of 16.
TEST(FirMrSetup, StateFitsItsSizeAtAnyBufferAddress) {
    const std::vector<float> past(700, 0.5f);
    for (int tapsLen : {1, 5, 66, 132, 700}) {
        for (auto [up, down] :
             {std::pair{2, 1}, {1, 2}, {4, 1}, {1, 4}, {7, 3}, {3, 7}, {1, 300}}) {
            for (const fir_mr_layouts::Layout& layout : fir_mr_layouts::kLayouts) {
                int size = 0;
                ASSERT_EQ(layout.stateSize(tapsLen, up, down, &size), sigOk);
                const std::vector<float> taps = rampTaps(tapsLen);
                for (std::size_t misalign : {0u, 1u, 8u, 15u}) {
                    GuardedBuffer<unsigned char> buffer(static_cast<std::size_t>(size), misalign);
                    int status = -1;
                    sigFirState* state =
                        layout.init(taps.data(), tapsLen, up, up - 1, down, down - 1, past.data(),
                                    &status, buffer.data(), sigFirIdMultiRate);
                    ASSERT_EQ(status, sigOk);
                    ASSERT_NE(state, nullptr);
                    EXPECT_EQ(state->id, sigFirIdMultiRate);
                    EXPECT_EQ(state->mode, layout.mode(up));
                    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(state) % 16, 0u);
                    EXPECT_LT(reinterpret_cast<unsigned char*>(state) - buffer.data(), 16);
                    // A long call runs the head block through the whole delay area.
                    const int iterations = state->headLen / down + 2;
                    std::vector<float> x(static_cast<std::size_t>(iterations * down), 1.0f);
                    std::vector<float> y(static_cast<std::size_t>(iterations * up));
                    ASSERT_EQ(sigFirProcess_32f(x.data(), y.data(), iterations, state), sigOk);
                    EXPECT_TRUE(buffer.guardsIntact())
                        << tapsLen << " taps " << up << "/" << down << " at +" << misalign;
                }
            }
        }
    }
}

TEST(FirMrSetup, HistoryIsStoredOldestFirstAndNothingElseOfThePast) {
    const float taps[5] = {1, 2, 3, 4, 5};
    const float past[3] = {7, 8, 9}; // ceil(5 / 2) samples, newest first
    std::vector<unsigned char> buffer(static_cast<std::size_t>(sizeFor(5, 2, 3)));
    sigFirState* state = nullptr;
    ASSERT_EQ(sigFirMrInit_32f(&state, taps, 5, 2, 0, 3, 0, past, buffer.data()), sigOk);
    EXPECT_EQ(std::vector<float>(state->delayArea(), state->delayArea() + 4),
              (std::vector<float>{9, 8, 7, 0}));
    ASSERT_EQ(sigFirMrInit_32f(&state, taps, 5, 2, 0, 3, 0, nullptr, buffer.data()), sigOk);
    EXPECT_EQ(std::vector<float>(state->delayArea(), state->delayArea() + 3),
              (std::vector<float>{0, 0, 0}));
}

TEST(FirMrSetup, ChecksComeInOrderAndWriteNothing) {
    const float taps[4] = {1, 2, 3, 4};
    GuardedBuffer<unsigned char> buffer(static_cast<std::size_t>(sizeFor(4, 2, 3)));
    sigFirState* const unwritten = reinterpret_cast<sigFirState*>(&buffer);
    sigFirState* state = unwritten;
    unsigned char* b = buffer.data();
    // Pointers first, in argument order, whatever else is wrong.
    EXPECT_EQ(sigFirMrInit_32f(nullptr, taps, 0, 0, -1, 0, -1, nullptr, b), sigErrNullPtr);
    EXPECT_EQ(sigFirMrInit_32f(&state, nullptr, 0, 0, -1, 0, -1, nullptr, b), sigErrNullPtr);
    EXPECT_EQ(sigFirMrInit_32f(&state, taps, 0, 0, -1, 0, -1, nullptr, nullptr), sigErrNullPtr);
    // Then the tap count, the factors, the phases.
    EXPECT_EQ(sigFirMrInit_32f(&state, taps, 0, 0, -1, 0, -1, nullptr, b), sigErrFirLength);
    EXPECT_EQ(sigFirMrInit_32f(&state, taps, 4, 0, -1, 3, 0, nullptr, b), sigErrMrFactor);
    EXPECT_EQ(sigFirMrInit_32f(&state, taps, 4, 2, -1, -3, -1, nullptr, b), sigErrMrFactor);
    EXPECT_EQ(sigFirMrInit_32f(&state, taps, 4, 2, -1, 3, 0, nullptr, b), sigErrMrPhase);
    EXPECT_EQ(sigFirMrInit_32f(&state, taps, 4, 2, 2, 3, 0, nullptr, b), sigErrMrPhase);
    EXPECT_EQ(sigFirMrInit_32f(&state, taps, 4, 2, 1, 3, -1, nullptr, b), sigErrMrPhase);
    EXPECT_EQ(sigFirMrInit_32f(&state, taps, 4, 2, 1, 3, 3, nullptr, b), sigErrMrPhase);
    EXPECT_EQ(state, unwritten);
    EXPECT_TRUE(buffer.unchanged());

    int size = -5;
    EXPECT_EQ(sigFirMrGetStateSize_32f(0, 0, 0, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigFirMrGetStateSize_32f(-1, 0, 0, &size), sigErrFirLength);
    EXPECT_EQ(sigFirMrGetStateSize_32f(4, 0, 1, &size), sigErrMrFactor);
    EXPECT_EQ(sigFirMrGetStateSize_32f(4, 1, -2, &size), sigErrMrFactor);
    EXPECT_EQ(size, -5);
}

// Sizes are computed in 64 bits: a state the 32-bit size cannot carry is
// refused, whichever count makes it too large, and nothing is written.
TEST(FirMrSetup, StatesTooLargeForTheSizeWordAreRefused) {
    const float taps[1] = {1};
    GuardedBuffer<unsigned char> buffer(64);
    for (auto [tapsLen, up, down] : {std::tuple{INT_MAX, 2, 1},
                                     {INT_MAX / 16, 1, 2},
                                     {1, 1 << 30, 1},
                                     {1, 2, 1 << 29},
                                     {1, INT_MAX, INT_MAX}}) {
        int size = -5;
        EXPECT_EQ(sigFirMrGetStateSize_32f(tapsLen, up, down, &size), sigErrFirLength)
            << tapsLen << " " << up << " " << down;
        EXPECT_EQ(size, -5);
        sigFirState* state = nullptr;
        EXPECT_EQ(sigFirMrInit_32f(&state, taps, tapsLen, up, 0, down, 0, nullptr, buffer.data()),
                  sigErrFirLength);
        EXPECT_EQ(state, nullptr);
        // Neither layout's own routines take it either.
        for (const fir_mr_layouts::Layout& layout : fir_mr_layouts::kLayouts) {
            EXPECT_EQ(layout.stateSize(tapsLen, up, down, &size), sigErrFirLength) << layout.name;
            EXPECT_EQ(size, -5);
            int status = sigOk;
            EXPECT_EQ(layout.init(taps, tapsLen, up, 0, down, 0, nullptr, &status, buffer.data(),
                                  sigFirIdMultiRate),
                      nullptr);
            EXPECT_EQ(status, sigErrFirLength) << layout.name;
        }
    }
    EXPECT_TRUE(buffer.unchanged() && buffer.guardsIntact());
}

TEST(FirMrSetup, FreeLeavesAStateInACallersBufferAlone) {
    Made made(66, 2, 1, 1, 0);
    ASSERT_EQ(made.status, sigOk);
    made.buffer.snapshot();
    EXPECT_EQ(sigFirFree_32f(made.state), sigOk);
    EXPECT_TRUE(made.buffer.unchanged());
}

} // namespace
