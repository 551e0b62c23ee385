#include "driver/effects/dsp_split_stage.h"
#include "driver/effects/dsp_src_stage_factor.h"
#include "driver/effects/dsp_src_stage_fir.h"
#include "driver/effects/src_coefficients.h"
#include "driver/tests/test_planes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <numeric>
#include <vector>

namespace {

enum class Kind { Factor2, Factor4, Rational };

struct StageCase {
    const char* name;
    Kind kind;
    SrcDirection direction;
    double inRate, outRate;
};

constexpr SrcDirection Up = SrcDirection::Up;
constexpr SrcDirection Down = SrcDirection::Down;

const StageCase kStageCases[] = {
    {"2x up", Kind::Factor2, Up, 48000, 96000},
    {"2x down", Kind::Factor2, Down, 96000, 48000},
    {"4x up", Kind::Factor4, Up, 44100, 176400},
    {"4x down", Kind::Factor4, Down, 192000, 48000},
    {"rational up", Kind::Rational, Up, 44100, 48000},
    {"rational down", Kind::Rational, Down, 48000, 44100},
};

// A stage as the adapter makes and sets one.
std::unique_ptr<CDspSrcStage> MakeStage(Kind kind, SrcDirection direction) {
    std::unique_ptr<CDspSrcStage> stage;
    if (kind == Kind::Factor2) stage.reset(new (DspStagePool, DspStageTag) CDspSrcStage2x());
    if (kind == Kind::Factor4) stage.reset(new (DspStagePool, DspStageTag) CDspSrcStage4x());
    if (kind == Kind::Rational) stage.reset(new (DspStagePool, DspStageTag) CDspSrcStageFir());
    EXPECT_TRUE(stage->AllocateBuffers());
    stage->SetDirection(direction);
    stage->Reset();
    return stage;
}

// Feeds the input to channel 5 in calls of 1 to `longest` samples (0: one
// call), giving again what a call left; returns the channel's output.
std::vector<float> Convert(CDspSrcStage& stage, const std::vector<float>& input, int longest = 0) {
    std::uint32_t fed = 0;
    const auto feed = [&](int upTo) {
        std::uint32_t count = static_cast<std::uint32_t>(upTo) - fed;
        EXPECT_TRUE(stage.Process(5, input.data() + fed, &count));
        fed += count;
    };
    if (longest > 0)
        InRandomPieces(static_cast<int>(input.size()), 99u, longest,
                       [&](int offset, int n) { feed(offset + n); });
    feed(static_cast<int>(input.size()));
    return std::vector<float>(stage.GetOutput(5), stage.GetOutput(5) + stage.GetOutputPosition(5));
}

// Inputs whose output fills most of the 7680 samples a channel holds.
std::size_t InputLength(const StageCase& c) {
    return static_cast<std::size_t>(7600.0 * std::min(1.0, c.inRate / c.outRate));
}

// What a constant input meets per output: the whole table (the factor
// stages scale the zero-stuffed phases back by k), or one row summing to 1.
double TableDcGain(Kind kind) {
    const auto sum = [](const auto& t) { return std::accumulate(t.begin(), t.end(), 0.0); };
    return kind == Kind::Factor2   ? sum(Src2xCoefficients())
           : kind == Kind::Factor4 ? sum(Src4xCoefficients())
                                   : 1.0;
}

TEST(DspSrcStage, ConstantInputComesOutAtTheTableSum) {
    EXPECT_NEAR(TableDcGain(Kind::Factor2), 1.001, 1e-6);
    EXPECT_NEAR(TableDcGain(Kind::Factor4), 1.001, 1e-6);
    for (const StageCase& c : kStageCases) {
        SCOPED_TRACE(c.name);
        const std::vector<float> out =
            Convert(*MakeStage(c.kind, c.direction), std::vector<float>(InputLength(c), 1.0f));
        ASSERT_GT(out.size(), 1800u);
        // Past the start-up every output meets all of its taps.
        for (std::size_t i = 300; i < out.size(); ++i)
            ASSERT_NEAR(out[i], TableDcGain(c.kind), 1e-4) << i;
    }
}

// Least-squares amplitude of a sine of `cycles` per sample in x from `from`
// on, and the RMS of what is left (images, aliases, noise).
std::pair<double, double> FitSine(const std::vector<float>& x, std::size_t from, double cycles) {
    const auto s = [&](std::size_t n) { return std::sin(2 * std::numbers::pi * cycles * n); };
    const auto k = [&](std::size_t n) { return std::cos(2 * std::numbers::pi * cycles * n); };
    double ss = 0, kk = 0, sk = 0, xs = 0, xk = 0;
    for (std::size_t n = from; n < x.size(); ++n)
        ss += s(n) * s(n), kk += k(n) * k(n), sk += s(n) * k(n), xs += x[n] * s(n),
            xk += x[n] * k(n);
    const double a = (xs * kk - xk * sk) / (ss * kk - sk * sk);
    const double b = (xk * ss - xs * sk) / (ss * kk - sk * sk);
    double residual = 0;
    for (std::size_t n = from; n < x.size(); ++n)
        residual += std::pow(x[n] - a * s(n) - b * k(n), 2);
    return {std::hypot(a, b), std::sqrt(residual / static_cast<double>(x.size() - from))};
}

// 1 kHz leaves every stage at 1 kHz of the output rate, at its level within
// 0.1 dB, with everything else 60 dB below it.
TEST(DspSrcStage, ToneKeepsFrequencyAndLevelWithoutImages) {
    for (const StageCase& c : kStageCases) {
        SCOPED_TRACE(c.name);
        std::vector<float> tone(InputLength(c));
        for (std::size_t n = 0; n < tone.size(); ++n)
            tone[n] =
                static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 1000 / c.inRate * n));
        const auto [amplitude, residual] =
            FitSine(Convert(*MakeStage(c.kind, c.direction), tone), 300, 1000 / c.outRate);
        EXPECT_NEAR(20 * std::log10(amplitude / 0.5), 0.0, 0.1);
        EXPECT_LT(20 * std::log10(residual * std::sqrt(2.0) / amplitude), -60.0);
    }
}

TEST(DspSrcStage, CallLengthsDoNotChangeTheOutput) {
    const std::vector<float> noise = NoisePlanes(7600, 7u, 0.5f, 1)[0];
    for (const StageCase& c : kStageCases) {
        SCOPED_TRACE(c.name);
        const std::vector<float> input(noise.begin(), noise.begin() + InputLength(c));
        const std::vector<float> once = Convert(*MakeStage(c.kind, c.direction), input);
        const std::vector<float> pieces = Convert(*MakeStage(c.kind, c.direction), input, 37);
        ASSERT_EQ(once.size(), pieces.size());
        EXPECT_EQ(std::memcmp(once.data(), pieces.data(), once.size() * sizeof(float)), 0);
    }
}

TEST(DspSrcStage, ConsumesWhatTheOutputHasRoomFor) {
    const struct {
        const char* name;
        Kind kind;
        SrcDirection direction;
        std::uint32_t before, given, consumed, position;
    } cases[] = {
        {"rational up, 147 in", Kind::Rational, Up, 0, 147, 147, 160},
        {"rational down, 160 in", Kind::Rational, Down, 0, 160, 160, 147},
        {"rational up, last room", Kind::Rational, Up, 7055, 10, 1, 7680},
        {"rational down, full", Kind::Rational, Down, 8400, 10, 0, 7680},
        {"2x up, room for 1", Kind::Factor2, Up, 3839, 5, 1, 7680},
        {"2x up, full", Kind::Factor2, Up, 3840, 5, 0, 7680},
        {"2x down, odd", Kind::Factor2, Down, 0, 5, 4, 2},
        {"4x down, 7", Kind::Factor4, Down, 0, 7, 4, 1},
        // 4 x count wraps in 32 bits: cut to the room, never wrapped.
        {"4x up, huge", Kind::Factor4, Up, 0, 0x40000001u, 1920, 7680},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto stage = MakeStage(c.kind, c.direction);
        const std::vector<float> input(c.before + std::min(c.given, 7680u), 0.25f);
        std::uint32_t count = c.before;
        ASSERT_TRUE(stage->Process(3, input.data(), &count));
        count = c.given;
        ASSERT_TRUE(stage->Process(3, input.data() + c.before, &count));
        EXPECT_EQ(count, c.consumed);
        EXPECT_EQ(stage->GetOutputPosition(3), c.position);
        if (c.kind == Kind::Rational && c.before == 0) {
            EXPECT_EQ(static_cast<CDspSrcStageFir&>(*stage).GetPhase(3), 0);
        }
    }
}

// Down, a call whose last output leaves the phase at 147 or more owes the
// next input a skip; an empty next call takes nothing and reads nothing.
TEST(DspSrcStage, RationalDownKeepsAPendingSkipAcrossAnEmptyCall) {
    auto stage = MakeStage(Kind::Rational, Down);
    const std::vector<float> input(12, 0.5f);
    std::uint32_t count = 12;
    ASSERT_TRUE(stage->Process(0, input.data(), &count));
    EXPECT_EQ(static_cast<CDspSrcStageFir&>(*stage).GetPhase(0), 156);
    count = 0;
    EXPECT_TRUE(stage->Process(0, nullptr, &count));
    EXPECT_EQ(stage->GetOutputPosition(0), 12u);
}

// Refused calls consume nothing: a channel past the eighth, missing
// arguments, states of the other direction, stages that convert nothing.
TEST(DspSrcStage, RefusedCallsConsumeNothing) {
    const float samples[8] = {};
    const auto refuses = [&](CDspSrcStage& stage, std::uint32_t channel, const float* input) {
        std::uint32_t count = 8;
        return !stage.Process(channel, input, &count) && count == 0 &&
               (!stage.IsAllocated() || stage.GetOutputPosition(channel % 8) == 0);
    };
    for (const StageCase& c : kStageCases) {
        SCOPED_TRACE(c.name);
        auto stage = MakeStage(c.kind, c.direction);
        EXPECT_TRUE(refuses(*stage, 8, samples));
        EXPECT_TRUE(refuses(*stage, 0, nullptr));
        EXPECT_FALSE(stage->Process(0, samples, nullptr));
        stage->SetDirection(c.direction == Up ? Down : Up); // turned round without a Reset
        EXPECT_TRUE(refuses(*stage, 0, samples));
        stage->Reset();
        EXPECT_FALSE(refuses(*stage, 0, samples));
    }
    CDspSrcStageFir unallocated;
    unallocated.Reset();
    EXPECT_TRUE(refuses(unallocated, 0, samples));
    CDspSplitStage split;
    ASSERT_TRUE(split.AllocateBuffers());
    EXPECT_FALSE(split.AllocateBuffers());
    split.Reset();
    EXPECT_TRUE(refuses(split, 0, samples));
    CDspSrcStage base;
    EXPECT_FALSE(base.AllocateBuffers()); // its sizes are 0
    EXPECT_TRUE(refuses(base, 0, samples));
}

} // namespace
