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
    double inRate;
    double outRate;
};

const StageCase kStageCases[] = {
    {"2x up", Kind::Factor2, SrcDirection::Up, 48000, 96000},
    {"2x down", Kind::Factor2, SrcDirection::Down, 96000, 48000},
    {"4x up", Kind::Factor4, SrcDirection::Up, 44100, 176400},
    {"4x down", Kind::Factor4, SrcDirection::Down, 192000, 48000},
    {"rational up", Kind::Rational, SrcDirection::Up, 44100, 48000},
    {"rational down", Kind::Rational, SrcDirection::Down, 48000, 44100},
};

// A stage the way the adapter makes and sets one.
std::unique_ptr<CDspSrcStage> MakeStage(Kind kind, SrcDirection direction) {
    std::unique_ptr<CDspSrcStage> stage;
    switch (kind) {
    case Kind::Factor2:
        stage.reset(new (DspStagePool, DspStageTag) CDspSrcStage2x());
        break;
    case Kind::Factor4:
        stage.reset(new (DspStagePool, DspStageTag) CDspSrcStage4x());
        break;
    case Kind::Rational:
        stage.reset(new (DspStagePool, DspStageTag) CDspSrcStageFir());
        break;
    }
    EXPECT_TRUE(stage->AllocateBuffers());
    stage->SetDirection(direction);
    stage->Reset();
    return stage;
}

// Feeds the input to one channel in calls of 1 to `longest` samples (0: one
// call), giving again whatever a call left unconsumed; returns the output.
std::vector<float> Convert(CDspSrcStage& stage, const std::vector<float>& input, int longest = 0,
                           std::uint32_t channel = 0) {
    std::uint32_t fed = 0;
    const auto feed = [&](std::uint32_t upTo) {
        std::uint32_t count = upTo - fed;
        EXPECT_TRUE(stage.Process(channel, input.data() + fed, &count));
        fed += count;
    };
    if (longest == 0) {
        feed(static_cast<std::uint32_t>(input.size()));
    } else {
        InRandomPieces(static_cast<int>(input.size()), 99u, longest,
                       [&](int offset, int n) { feed(static_cast<std::uint32_t>(offset + n)); });
        feed(static_cast<std::uint32_t>(input.size()));
    }
    const float* out = stage.GetOutput(channel);
    return std::vector<float>(out, out + stage.GetOutputPosition(channel));
}

// Input samples whose output fills most of the 7680 a channel holds.
std::size_t InputLength(const StageCase& c) {
    return static_cast<std::size_t>(7600.0 * std::min(1.0, c.inRate / c.outRate));
}

// The sum of taps that a constant input meets per output.
double TableDcGain(Kind kind) {
    const auto sum = [](const auto& table) {
        return std::accumulate(table.begin(), table.end(), 0.0);
    };
    switch (kind) {
    case Kind::Factor2:
        return sum(Src2xCoefficients());
    case Kind::Factor4:
        return sum(Src4xCoefficients());
    case Kind::Rational:
        return 1.0;
    }
    return 0.0;
}

TEST(SrcCoefficients, TablesKeepTheirSumsAndSymmetry) {
    EXPECT_NEAR(TableDcGain(Kind::Factor2), 1.001, 1e-6);
    EXPECT_NEAR(TableDcGain(Kind::Factor4), 1.001, 1e-6);
    const auto symmetric = [](const auto& t) { return std::equal(t.begin(), t.end(), t.rbegin()); };
    EXPECT_TRUE(symmetric(Src2xCoefficients()));
    EXPECT_TRUE(symmetric(Src4xCoefficients()));
    for (const auto& row : SrcFirUpCoefficients())
        EXPECT_NEAR(std::accumulate(row.begin(), row.end(), 0.0), 1.0, 1e-6);
    for (const auto& row : SrcFirDownCoefficients())
        EXPECT_NEAR(std::accumulate(row.begin(), row.end(), 0.0), 1.0, 1e-6);
}

TEST(DspSrcStage, ConstantInputComesOutAtTheTableSum) {
    for (const StageCase& c : kStageCases) {
        SCOPED_TRACE(c.name);
        auto stage = MakeStage(c.kind, c.direction);
        const std::vector<float> out = Convert(*stage, std::vector<float>(InputLength(c), 1.0f));
        ASSERT_GT(out.size(), 1800u);
        // Past the filter's start-up every output meets all of its taps.
        for (std::size_t i = 300; i < out.size(); ++i)
            ASSERT_NEAR(out[i], TableDcGain(c.kind), 1e-4) << i;
    }
}

// Least-squares fit of a sine of the given frequency (cycles per sample) to
// `x` from `from` on; returns the amplitude and the RMS of what is left.
struct SineFit {
    double amplitude;
    double residualRms;
};

SineFit FitSine(const std::vector<float>& x, std::size_t from, double cycles) {
    double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0;
    for (std::size_t n = from; n < x.size(); ++n) {
        const double s = std::sin(2 * std::numbers::pi * cycles * n);
        const double k = std::cos(2 * std::numbers::pi * cycles * n);
        ss += s * s, cc += k * k, sc += s * k, xs += x[n] * s, xc += x[n] * k;
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det;
    const double b = (xc * ss - xs * sc) / det;
    double residual = 0;
    for (std::size_t n = from; n < x.size(); ++n) {
        const double e = x[n] - a * std::sin(2 * std::numbers::pi * cycles * n) -
                         b * std::cos(2 * std::numbers::pi * cycles * n);
        residual += e * e;
    }
    return {std::hypot(a, b), std::sqrt(residual / static_cast<double>(x.size() - from))};
}

// A 1 kHz tone leaves every stage at 1 kHz of the output rate, at its level
// within 0.1 dB, with everything else (images, aliases) 60 dB below it.
TEST(DspSrcStage, ToneKeepsFrequencyAndLevelWithoutImages) {
    constexpr double Amplitude = 0.5;
    for (const StageCase& c : kStageCases) {
        SCOPED_TRACE(c.name);
        auto stage = MakeStage(c.kind, c.direction);
        std::vector<float> tone(InputLength(c));
        for (std::size_t n = 0; n < tone.size(); ++n)
            tone[n] = static_cast<float>(Amplitude *
                                         std::sin(2 * std::numbers::pi * 1000.0 / c.inRate * n));
        const std::vector<float> out = Convert(*stage, tone);
        const SineFit fit = FitSine(out, 300, 1000.0 / c.outRate);
        EXPECT_NEAR(20 * std::log10(fit.amplitude / Amplitude), 0.0, 0.1);
        EXPECT_LT(20 * std::log10(fit.residualRms / (fit.amplitude / std::sqrt(2.0))), -60.0);
    }
}

TEST(DspSrcStage, CallLengthsDoNotChangeTheOutput) {
    const TestPlanes noise = NoisePlanes(7600, 7u, 0.5f, 1);
    for (const StageCase& c : kStageCases) {
        SCOPED_TRACE(c.name);
        const std::vector<float> input(noise[0].begin(), noise[0].begin() + InputLength(c));
        auto whole = MakeStage(c.kind, c.direction);
        auto pieces = MakeStage(c.kind, c.direction);
        const std::vector<float> once = Convert(*whole, input);
        const std::vector<float> split = Convert(*pieces, input, 37, 5);
        ASSERT_EQ(once.size(), split.size());
        EXPECT_EQ(std::memcmp(once.data(), split.data(), once.size() * sizeof(float)), 0);
    }
}

struct CountCase {
    const char* name;
    Kind kind;
    SrcDirection direction;
    std::uint32_t before; // samples given in an earlier call
    std::uint32_t given;
    std::uint32_t consumed;
    std::uint32_t position; // output position after the call
};

TEST(DspSrcStage, ConsumesWhatTheOutputHasRoomFor) {
    const CountCase cases[] = {
        {"rational up, 147 in", Kind::Rational, SrcDirection::Up, 0, 147, 147, 160},
        {"rational down, 160 in", Kind::Rational, SrcDirection::Down, 0, 160, 160, 147},
        {"rational up, last room", Kind::Rational, SrcDirection::Up, 7055, 10, 1, 7680},
        {"rational down, full", Kind::Rational, SrcDirection::Down, 8400, 10, 0, 7680},
        {"2x up, 2 left", Kind::Factor2, SrcDirection::Up, 3839, 5, 1, 7680},
        {"2x up, full", Kind::Factor2, SrcDirection::Up, 3840, 5, 0, 7680},
        {"2x down, odd", Kind::Factor2, SrcDirection::Down, 0, 5, 4, 2},
        {"4x down, 7", Kind::Factor4, SrcDirection::Down, 0, 7, 4, 1},
        {"4x up, 3 left", Kind::Factor4, SrcDirection::Up, 1919, 5, 1, 7680},
    };
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto stage = MakeStage(c.kind, c.direction);
        const std::vector<float> input(c.before + c.given, 0.25f);
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

// A rational-down stage whose last call ended on a skip it had no input for
// takes that skip first in the next call, even when that call is empty.
TEST(DspSrcStage, RationalDownKeepsAPendingSkipAcrossAnEmptyCall) {
    auto stage = MakeStage(Kind::Rational, SrcDirection::Down);
    const std::vector<float> input(160, 0.5f);
    std::uint32_t count = 12; // 12 outputs; the phase ends at 156
    ASSERT_TRUE(stage->Process(0, input.data(), &count));
    EXPECT_EQ(static_cast<CDspSrcStageFir&>(*stage).GetPhase(0), 156);
    count = 0;
    EXPECT_TRUE(stage->Process(0, nullptr, &count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(stage->GetOutputPosition(0), 12u);
}

// A count the output could not hold in 32 bits once multiplied by the factor
// is cut to the room there is, never wrapped.
TEST(DspSrcStage, HugeCountIsCutToTheRoomLeft) {
    auto stage = MakeStage(Kind::Factor4, SrcDirection::Up);
    const std::vector<float> input(CDspSrcStage::OutputCapacity / 4, 0.5f);
    std::uint32_t count = 0x40000001u;
    ASSERT_TRUE(stage->Process(0, input.data(), &count));
    EXPECT_EQ(count, input.size());
    EXPECT_EQ(stage->GetOutputPosition(0), CDspSrcStage::OutputCapacity);
}

// Refused calls consume nothing: a channel past the eighth, missing
// arguments, states not built for the direction, and the stages that
// convert nothing.
TEST(DspSrcStage, RefusedCallsConsumeNothing) {
    const float samples[8] = {};
    const auto refuses = [&](CDspSrcStage& stage, std::uint32_t channel, const float* input) {
        std::uint32_t count = 8;
        const bool result = stage.Process(channel, input, &count);
        return !result && count == 0 && stage.GetOutputPosition(channel % 8) == 0;
    };
    for (const StageCase& c : kStageCases) {
        SCOPED_TRACE(c.name);
        auto stage = MakeStage(c.kind, c.direction);
        EXPECT_TRUE(refuses(*stage, 8, samples));
        EXPECT_TRUE(refuses(*stage, 0, nullptr));
        EXPECT_FALSE(stage->Process(0, samples, nullptr));
        // Turned round without a Reset: its states are the other direction's.
        stage->SetDirection(c.direction == SrcDirection::Up ? SrcDirection::Down
                                                            : SrcDirection::Up);
        EXPECT_TRUE(refuses(*stage, 0, samples));
        stage->Reset();
        std::uint32_t count = 8;
        EXPECT_TRUE(stage->Process(0, samples, &count));
    }
    CDspSrcStageFir unallocated;
    unallocated.Reset();
    EXPECT_TRUE(refuses(unallocated, 0, samples));
    CDspSplitStage split;
    ASSERT_TRUE(split.AllocateBuffers());
    split.Reset();
    EXPECT_TRUE(refuses(split, 0, samples));
    EXPECT_FALSE(split.AllocateBuffers());
    CDspSrcStage base;
    EXPECT_FALSE(base.AllocateBuffers()); // sizes 0
    EXPECT_TRUE(refuses(base, 0, samples));
}

} // namespace
