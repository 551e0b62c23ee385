// Multi-rate FIR processing against its definition (up-sampling by zero
// insertion, filtering, down-sampling) computed in double: bit for bit, for
// every tap count up to 132, factors up to 7, every phase and both layouts,
// however the stream is split into calls, and whatever the delay area held.
#include "filter_reference.h"
#include "fir_mr_layouts.h"
#include "sigproc/filters/fir_multirate.h"
#include "sigproc/sigproc.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using filter_reference::multiRate;
using filter_reference::randomSignal;
using testkit::GuardedBuffer;

struct Shape {
    int tapsLen, up, upPhase, down, downPhase;
    std::string name() const {
        return std::to_string(tapsLen) + " taps, up " + std::to_string(up) + " phase " +
               std::to_string(upPhase) + ", down " + std::to_string(down) + " phase " +
               std::to_string(downPhase);
    }
};

// A state of the shape in a guarded buffer: through the entry, or with its
// layout forced.
class MrFir {
public:
    MrFir(const Shape& s, const std::vector<float>& taps, const std::vector<float>& past,
          const fir_mr_layouts::Layout* layout = nullptr)
        : shape_(s) {
        int size = 0;
        if (layout != nullptr) {
            EXPECT_EQ(layout->stateSize(s.tapsLen, s.up, s.down, &size), sigOk);
        } else {
            EXPECT_EQ(sigFirMrGetStateSize_32f(s.tapsLen, s.up, s.down, &size), sigOk);
        }
        buffer_.emplace(static_cast<std::size_t>(size), 5);
        const float* history = past.empty() ? nullptr : past.data();
        int status = sigOk;
        if (layout != nullptr) {
            state_ = layout->init(taps.data(), s.tapsLen, s.up, s.upPhase, s.down, s.downPhase,
                                  history, &status, buffer_->data(), sigFirIdMultiRate);
        } else {
            status = sigFirMrInit_32f(&state_, taps.data(), s.tapsLen, s.up, s.upPhase, s.down,
                                      s.downPhase, history, buffer_->data());
        }
        EXPECT_EQ(status, sigOk);
    }

    sigFirState* state() const { return state_; }

    // What earlier bad input could have left in the delay area behind the
    // history: NaN in every slot.
    void poisonScratch() {
        if (state_->id != sigFirIdMultiRate) return;
        float* delay = state_->delayArea();
        const int slots = state_->headLen + 1;
        for (int i = 0; i < slots; ++i)
            delay[state_->delayLen + i] = std::numeric_limits<float>::quiet_NaN();
    }

    // Filters x in calls of the given numbers of iterations, repeated until x
    // is used up.
    std::vector<float> run(const std::vector<float>& x, const std::vector<int>& calls) {
        const std::size_t in = static_cast<std::size_t>(shape_.down);
        const std::size_t out = static_cast<std::size_t>(shape_.up);
        const std::size_t iterations = x.size() / in;
        std::vector<float> y(iterations * out);
        for (std::size_t done = 0, i = 0; done < iterations; ++i) {
            const std::size_t n =
                std::min(static_cast<std::size_t>(calls[i % calls.size()]), iterations - done);
            // Exactly the call's input, so that a read beyond it is caught.
            const std::vector<float> block(x.begin() + std::ptrdiff_t(done * in),
                                           x.begin() + std::ptrdiff_t((done + n) * in));
            EXPECT_EQ(
                sigFirProcess_32f(block.data(), y.data() + done * out, static_cast<int>(n), state_),
                sigOk);
            done += n;
        }
        EXPECT_TRUE(buffer_->guardsIntact()) << shape_.name();
        return y;
    }

private:
    Shape shape_;
    std::optional<GuardedBuffer<unsigned char>> buffer_;
    sigFirState* state_ = nullptr;
};

void expectSameBits(const std::vector<float>& result, const std::vector<float>& expected,
                    const std::string& what) {
    ASSERT_EQ(result.size(), expected.size()) << what;
    for (std::size_t i = 0; i < result.size(); ++i) {
        if (std::memcmp(&result[i], &expected[i], sizeof(float)) != 0) {
            ADD_FAILURE() << what << ": output " << i << " is " << result[i] << ", expected "
                          << expected[i];
            return;
        }
    }
}

std::vector<float> pastOf(const Shape& s, std::uint32_t seed) {
    return randomSignal(static_cast<std::size_t>((s.tapsLen + s.up - 1) / s.up), seed);
}

// Calls short enough to run in the delay line, one at the largest such size,
// and long ones whose body reads the source.
std::vector<int> mixedCalls(const sigFirState* state, int down) {
    const int head = state->headLen / down; // the largest short call
    return {1, 2, 3, head, 5, head + 1, 2 * head + 9};
}

int totalOf(const std::vector<int>& calls) {
    int total = 0;
    for (int n : calls) total += n;
    return total;
}

// ---------------------------------------------------------------- the grid

std::vector<const fir_mr_layouts::Layout*> layoutsToTry(bool singleRate) {
    if (singleRate) return {nullptr};
    return {&fir_mr_layouts::kDense, &fir_mr_layouts::kIndexed};
}

class EveryUpFactor : public ::testing::TestWithParam<int> {};

// Every tap count meets every down factor and both layouts; the phase pairs
// go round with the tap count, so each factor pair sees all of them. The
// delay area behind the history starts full of NaN, which must never reach an
// output.
TEST_P(EveryUpFactor, OutputsEqualTheDefinitionForEveryShapePhaseAndLayout) {
    const int up = GetParam();
    for (int down = 1; down <= 7; ++down) {
        for (int tapsLen = 1; tapsLen <= 132; ++tapsLen) {
            const int pair = tapsLen % (up * down);
            const Shape s{tapsLen, up, pair % up, down, pair / up};
            const auto seed = static_cast<std::uint32_t>(tapsLen * 64 + up * 8 + down);
            const std::vector<float> taps = randomSignal(std::size_t(tapsLen), seed);
            const std::vector<float> past = pastOf(s, seed + 1);
            // Both factors 1 make a single-rate state, which has no layouts.
            const bool singleRate = up == 1 && down == 1;
            for (const fir_mr_layouts::Layout* layout : layoutsToTry(singleRate)) {
                MrFir fir(s, taps, past, layout);
                fir.poisonScratch();
                const std::vector<int> calls = mixedCalls(fir.state(), down);
                const std::vector<float> x =
                    randomSignal(std::size_t(totalOf(calls) * down), seed + 2);
                const std::vector<float> y = fir.run(x, calls);
                expectSameBits(y, multiRate(taps, up, s.upPhase, down, s.downPhase, x, past),
                               s.name() + " " + (layout != nullptr ? layout->name : "entry"));
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Factors1To7, EveryUpFactor, ::testing::Range(1, 8));

// ---------------------------------------------------------------- streams

TEST(FirMrProcess, AnySplitOfAStreamGivesTheSameOutputs) {
    for (const Shape& s : {Shape{66, 2, 1, 1, 0}, Shape{132, 1, 0, 4, 3}, Shape{10, 1, 0, 4, 1},
                           Shape{23, 3, 2, 5, 4}, Shape{9, 2, 0, 7, 6}}) {
        const std::vector<float> taps = randomSignal(std::size_t(s.tapsLen), 21);
        const std::vector<float> x = randomSignal(std::size_t(1200 * s.down), 22);
        const std::vector<float> expected =
            multiRate(taps, s.up, s.upPhase, s.down, s.downPhase, x);
        for (const std::vector<int>& calls :
             {std::vector<int>{1200}, {1}, {7}, {3, 600, 1, 50}, {64, 2, 129}}) {
            MrFir fir(s, taps, {});
            expectSameBits(fir.run(x, calls), expected,
                           s.name() + " in calls of " + std::to_string(calls[0]) + "...");
        }
    }
}

// After every call the delay line holds the last q inputs, oldest first.
TEST(FirMrProcess, HistoryEndsAsTheLastInputs) {
    for (const Shape& s : {Shape{66, 2, 0, 1, 0}, Shape{66, 1, 0, 2, 0}, Shape{10, 1, 0, 4, 0}}) {
        const std::vector<float> taps = randomSignal(std::size_t(s.tapsLen), 31);
        MrFir fir(s, taps, {});
        const int q = fir.state()->delayLen;
        std::vector<float> seen;
        for (int iterations : {1, 5, 200, 3}) {
            const std::vector<float> x =
                randomSignal(std::size_t(iterations * s.down), 32 + unsigned(iterations));
            std::vector<float> y(std::size_t(iterations * s.up));
            ASSERT_EQ(sigFirProcess_32f(x.data(), y.data(), iterations, fir.state()), sigOk);
            seen.insert(seen.end(), x.begin(), x.end());
            if (seen.size() >= std::size_t(q)) {
                EXPECT_EQ(
                    std::vector<float>(fir.state()->delayArea(), fir.state()->delayArea() + q),
                    std::vector<float>(seen.end() - q, seen.end()))
                    << s.name() << " after " << iterations;
            }
        }
    }
}

// One iteration of up 2, down 1: one input in, two outputs out, both formed
// one at a time.
TEST(FirMrProcess, OneIterationConsumesDownAndWritesUp) {
    const Shape s{66, 2, 0, 1, 0};
    const std::vector<float> taps = randomSignal(66, 41);
    MrFir fir(s, taps, {});
    GuardedBuffer<float> y(2, 0, 0x7F);
    const float x[1] = {1.0f};
    ASSERT_EQ(sigFirProcess_32f(x, y.data(), 1, fir.state()), sigOk);
    EXPECT_EQ(y.get(0), taps[0]);
    EXPECT_EQ(y.get(1), taps[1]);
    EXPECT_TRUE(y.guardsIntact());
    EXPECT_EQ(fir.state()->delayArea()[32], 1.0f);
}

// A NaN met in a long call's head block is left behind in the delay area;
// later short calls must not carry it into outputs whose inputs are finite.
TEST(FirMrProcess, EarlierBadInputDoesNotPoisonLaterShortCalls) {
    const Shape s{66, 2, 0, 1, 0};
    const std::vector<float> taps = randomSignal(66, 51);
    std::vector<float> x = randomSignal(100 + 40 * 4, 52);
    x[4] =
        std::numeric_limits<float>::quiet_NaN(); // left at the first slot behind a 4-iteration call
    MrFir fir(s, taps, {});
    const std::vector<float> y = fir.run(x, {100, 4});
    const std::vector<float> expected = multiRate(taps, 2, 0, 1, 0, x);
    const std::vector<float> later(y.begin() + 200, y.end());
    for (float v : later) ASSERT_TRUE(std::isfinite(v));
    expectSameBits(later, std::vector<float>(expected.begin() + 200, expected.end()),
                   "after the bad sample has left the history");
}

// ---------------------------------------------------------------- the driver's shapes

// A unit impulse through a converter stage: up-sampling shows the taps
// themselves, down-sampling every down-th of them.
void expectImpulseResponse(int tapsLen, int up, int down) {
    const Shape s{tapsLen, up, 0, down, 0};
    const std::vector<float> taps = randomSignal(std::size_t(tapsLen), 61);
    MrFir fir(s, taps, {});
    ASSERT_EQ(fir.state()->mode, 1) << "the driver's stages are dense";
    const int iterations = 2 * tapsLen;
    std::vector<float> x(std::size_t(iterations * down), 0.0f);
    x[0] = 1.0f;
    const std::vector<float> y = fir.run(x, {iterations});
    for (std::size_t o = 0; o < y.size(); ++o) {
        const std::size_t k = o * std::size_t(down);
        EXPECT_EQ(y[o], k < taps.size() ? taps[k] : 0.0f) << "output " << o;
    }
    // And a stream in blocks of a converter's size against the definition.
    const std::vector<float> signal = randomSignal(std::size_t(4096 * down), 62);
    MrFir stream(s, taps, {});
    expectSameBits(stream.run(signal, {512 / up, 480 / up, 1}),
                   multiRate(taps, up, 0, down, 0, signal), s.name());
}

TEST(FirMrProcess, Driver66TapsUpTwo) { expectImpulseResponse(66, 2, 1); }
TEST(FirMrProcess, Driver66TapsDownTwo) { expectImpulseResponse(66, 1, 2); }
TEST(FirMrProcess, Driver132TapsUpFour) { expectImpulseResponse(132, 4, 1); }
TEST(FirMrProcess, Driver132TapsDownFour) { expectImpulseResponse(132, 1, 4); }

// ---------------------------------------------------------------- refusals

TEST(FirMrProcess, AStateOfAnUnknownModeIsRefusedUntouched) {
    const Shape s{66, 2, 0, 1, 0};
    const std::vector<float> taps = randomSignal(66, 71);
    MrFir fir(s, taps, {});
    sigFirState* state = fir.state();
    const float x[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (int mode : {0, 4, -1}) {
        state->mode = mode;
        const std::vector<float> delay(state->delayArea(), state->delayArea() + 33);
        GuardedBuffer<float> y(16, 0, 0x11);
        EXPECT_EQ(sigFirProcess_32f(x, y.data(), 8, state), sigErrStateMismatch) << mode;
        EXPECT_TRUE(y.unchanged());
        EXPECT_EQ(std::vector<float>(state->delayArea(), state->delayArea() + 33), delay);
    }
}

} // namespace
