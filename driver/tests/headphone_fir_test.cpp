// The headphone FIR against direct convolution with the store's filters,
// computed here in double precision, and its crosstalk stage against direct
// 256-tap filters.
#include "driver/tests/vsh_test_support.h"
#include "driver/zurazuvera/common/VSH/headphone_fir.h"
#include "driver/zurazuvera/common/VSH/impulse_store.h"
#include "platform/kernel/pool.h"
#include "sigproc/sigproc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int N = HeadphoneFir::HEADPHONEFIR_N;
using vshtest::Noise;
using vshtest::Planes; // [channel][sample]

std::unique_ptr<HeadphoneFir> MakeFir() {
    auto fir = std::make_unique<HeadphoneFir>();
    EXPECT_EQ(fir->Init(), 1);
    return fir;
}

// The whole signal through Process block by block; returns the two outputs.
Planes RunBlocks(HeadphoneFir& fir, Planes in) {
    const int length = int(in[0].size());
    Planes out(2, std::vector<float>(length));
    for (int at = 0; at + N <= length; at += N) {
        std::vector<float*> inputs = PlanePointers(in, at);
        float* outputs[2] = {out[0].data() + at, out[1].data() + at};
        fir.Process(outputs, 2, inputs.data(), int(inputs.size()), N);
    }
    return out;
}

// Two planes through the crosstalk stage alone, block by block, in place.
Planes RunCtc(HeadphoneFir& fir, Planes planes) {
    for (int at = 0; at + N <= int(planes[0].size()); at += N) {
        float* p[2] = {planes[0].data() + at, planes[1].data() + at};
        fir.ProcessCTC(p, 2, 2, N);
    }
    return planes;
}

std::vector<double> Convolve(const std::vector<double>& x, const float* taps, int tapCount,
                             int delay) {
    std::vector<double> y(x.size(), 0.0);
    for (std::size_t n = 0; n < x.size(); ++n)
        for (int k = 0; k < tapCount && std::size_t(k + delay) <= n; ++k)
            y[n] += double(taps[k]) * x[n - k - delay];
    return y;
}

// The sources the engine forms from the input planes: LFE into both fronts,
// the back pair folded into the surround pair for 7.1.
std::vector<std::vector<double>> Sources(const Planes& in) {
    const std::size_t length = in[0].size();
    auto at = [&](int c, std::size_t n) { return double(in[c][n]); };
    std::vector<std::vector<double>> sources(in.size() == 2 ? 2 : 5, std::vector<double>(length));
    for (std::size_t n = 0; n < length; ++n) {
        if (in.size() == 2) {
            sources[0][n] = at(0, n);
            sources[1][n] = at(1, n);
            continue;
        }
        sources[0][n] = at(0, n) + at(3, n);
        sources[1][n] = at(1, n) + at(3, n);
        sources[2][n] = at(2, n);
        double l = at(4, n), r = at(5, n);
        if (in.size() == 8) {
            const float a = 0.95f * in[4][n] + 0.312f * in[5][n];
            const float b = 0.312f * in[4][n] + 0.95f * in[5][n];
            l = double(a + in[6][n]);
            r = double(b + in[7][n]);
        }
        sources[3][n] = l;
        sources[4][n] = r;
    }
    return sources;
}

// Ear e: 2 x (sum over sources of head filter 2s + e, plus the tail of ear e
// over the sum of sources 1024 samples late).
std::vector<std::vector<double>> ReferenceEars(const HeadphoneFir& fir, const Planes& in) {
    const auto sources = Sources(in);
    const int tailLength = fir.TailPartCount() * N;
    std::vector<double> all(in[0].size(), 0.0);
    for (const auto& s : sources)
        for (std::size_t n = 0; n < all.size(); ++n) all[n] += s[n];
    std::vector<std::vector<double>> ears(2, std::vector<double>(all.size(), 0.0));
    for (int e = 0; e < 2; ++e) {
        for (std::size_t s = 0; s < sources.size(); ++s) {
            const auto y = Convolve(sources[s], fir.LoadedHead() + (2 * s + e) * 1024, 1024, 0);
            for (std::size_t n = 0; n < y.size(); ++n) ears[e][n] += y[n];
        }
        const auto tail = Convolve(all, fir.LoadedTail() + e * tailLength, tailLength, 1024);
        for (std::size_t n = 0; n < tail.size(); ++n) ears[e][n] = 2.0 * (ears[e][n] + tail[n]);
    }
    return ears;
}

struct Case {
    const char* name;
    int channels;
    int roomValue;
    int code;
};

class HeadphoneFirConvolution : public ::testing::TestWithParam<Case> {};

// Crosstalk off: the rendered ears are the reference 255 samples late.
TEST_P(HeadphoneFirConvolution, MatchesDirectConvolution) {
    const Case c = GetParam();
    auto fir = MakeFir();
    fir->SelectFilter(c.roomValue, c.code);
    const Planes in = Noise(c.channels, 8 * N, 11);
    const Planes out = RunBlocks(*fir, in);
    const auto ears = ReferenceEars(*fir, in);
    for (int e = 0; e < 2; ++e)
        for (std::size_t n = 0; n < out[e].size(); ++n) {
            const double expected = n >= 255 ? ears[e][n - 255] : 0.0;
            ASSERT_NEAR(out[e][n], expected, 2e-4) << "ear " << e << " sample " << n;
        }
}

INSTANTIATE_TEST_SUITE_P(Layouts, HeadphoneFirConvolution,
                         ::testing::Values(Case{"stereo", 2, 1, 29}, Case{"surround51", 6, 0, 24},
                                           Case{"surround71", 8, 2, 40},
                                           Case{"oneBlockSet", 6, 1, 31}),
                         [](const auto& info) { return std::string(info.param.name); });

// The crosstalk stage on its own: on, the two 256-tap filters of the angle
// over sum and difference; off, an exact delay of 255 samples.
TEST(HeadphoneFirCrosstalk, OnMatchesDirectFiltersOffIsAnExactDelay) {
    for (int angle : {5, 10, 15, 20, 30, 0, 25, -1, 7}) {
        SCOPED_TRACE(angle);
        auto fir = MakeFir();
        fir->SetCTCAngle(angle);
        const Planes in = Noise(2, 4 * N, 3);
        const Planes planes = RunCtc(*fir, in);
        const float* table = FindCrosstalkTable(angle);
        EXPECT_EQ(fir->CtcTapCount(), table != nullptr ? 256 : 1);
        if (table == nullptr) {
            for (int e = 0; e < 2; ++e)
                for (std::size_t n = 0; n < in[e].size(); ++n)
                    ASSERT_EQ(planes[e][n], n >= 255 ? in[e][n - 255] : 0.0f) << n;
            continue;
        }
        std::vector<float> sumTaps(256), diffTaps(256);
        for (int i = 0; i < 256; ++i) {
            sumTaps[i] = table[i] + table[256 + i];
            diffTaps[i] = table[i] - table[256 + i];
        }
        std::vector<double> s(in[0].size()), d(in[0].size());
        for (std::size_t n = 0; n < s.size(); ++n) {
            s[n] = double(in[0][n] + in[1][n]);
            d[n] = double(in[0][n] - in[1][n]);
        }
        const auto sf = Convolve(s, sumTaps.data(), 256, 0);
        const auto df = Convolve(d, diffTaps.data(), 256, 0);
        for (std::size_t n = 0; n < s.size(); ++n) {
            ASSERT_NEAR(planes[0][n], 0.5 * (sf[n] + df[n]), 1e-5) << n;
            ASSERT_NEAR(planes[1][n], 0.5 * (sf[n] - df[n]), 1e-5) << n;
        }
    }
}

// Switching cancellation off, or resetting, replays nothing of the signal
// before: silence in gives silence out at once.
TEST(HeadphoneFirCrosstalk, NoStaleSamplesAfterSwitchOrReset) {
    struct Step {
        const char* name;
        int angleBefore;
        bool reset;
        int angleAfter;
    };
    for (const Step step : {Step{"on then off", 20, false, 0}, Step{"off then reset", 0, true, 0},
                            Step{"on then reset", 10, true, 10}, Step{"on to on", 5, false, 30}}) {
        SCOPED_TRACE(step.name);
        auto fir = MakeFir();
        fir->SetCTCAngle(step.angleBefore);
        RunBlocks(*fir, Noise(2, 4 * N, 8));
        if (step.reset) fir->Reset();
        fir->SetCTCAngle(step.angleAfter);
        fir->Reset(); // the convolution's own history is not under test here
        vshtest::ExpectQuietEars(RunBlocks(*fir, Planes(2, std::vector<float>(2 * N, 0.0f))));
    }
}

// Switching cancellation off leaves the convolution running: only the
// crosstalk stage is cleared, so silence after noise still carries the
// room's tail, delayed and free of crosstalk-filter output.
TEST(HeadphoneFirCrosstalk, SwitchingOffClearsOnlyTheCrosstalkStage) {
    auto a = MakeFir();
    auto b = MakeFir();
    a->SetCTCAngle(20);
    const Planes noise = Noise(2, 4 * N, 8);
    RunBlocks(*a, noise);
    RunBlocks(*b, noise);
    a->SetCTCAngle(0);
    b->SetCTCAngle(20);
    b->SetCTCAngle(0);
    const Planes silence(2, std::vector<float>(4 * N, 0.0f));
    EXPECT_EQ(RunBlocks(*a, silence), RunBlocks(*b, silence));
}

TEST(HeadphoneFirSelection, RoomsAndCodesMapToTheirSets) {
    struct Row {
        int roomValue;
        int code;
        int room;
        int storedCode;
        int tailParts;
    };
    const Row rows[] = {{0, 24, 3, 24, 14}, {1, 29, 2, 29, 6},  {2, 34, 1, 34, 6},
                        {1, 30, 2, 30, 10}, {0, 31, 3, 31, 12}, {2, 31, 1, 31, 12},
                        {7, 39, 2, 39, 6},  {0, 26, 3, 24, 14}, {-1, -1, 2, 24, 6}};
    auto fir = MakeFir();
    EXPECT_EQ(fir->Room(), 1);
    EXPECT_EQ(fir->AngleCode(), 29);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.roomValue * 100 + row.code);
        EXPECT_EQ(fir->SelectFilter(row.roomValue, row.code), 1);
        EXPECT_EQ(fir->Room(), row.room);
        EXPECT_EQ(fir->AngleCode(), row.storedCode);
        EXPECT_EQ(fir->HeadPartCount(), 2);
        EXPECT_EQ(fir->TailPartCount(), row.tailParts);
        ImpulseSelection expected{};
        ASSERT_TRUE(FindImpulseSet(row.room, row.storedCode, &expected));
        EXPECT_EQ(fir->LoadedHead(), expected.head);
        EXPECT_EQ(fir->LoadedTail(), expected.tail);
    }
}

TEST(HeadphoneFirSignal, SurroundFoldIsWrittenBackToTheInputs) {
    auto fir = MakeFir();
    Planes in = Noise(8, N, 21);
    const Planes before = in;
    RunBlocks(*fir, in); // Run works on a copy; repeat in place to see the planes
    std::vector<float*> p = PlanePointers(in);
    std::vector<float> l(N), r(N);
    float* out[2] = {l.data(), r.data()};
    fir->Process(out, 2, p.data(), 8, N);
    for (int j = 0; j < N; ++j) {
        EXPECT_FLOAT_EQ(in[4][j], 0.95f * before[4][j] + 0.312f * before[5][j] + before[6][j]);
        EXPECT_FLOAT_EQ(in[5][j], 0.312f * before[4][j] + 0.95f * before[5][j] + before[7][j]);
    }
}

// NaN and infinity pass without harm and are gone after Reset.
TEST(HeadphoneFirSignal, NonFiniteInputIsGoneAfterReset) {
    for (int angle : {0, 20}) {
        auto fir = MakeFir();
        fir->SetCTCAngle(angle);
        Planes bad(6, std::vector<float>(2 * N, NAN));
        bad[2].assign(2 * N, INFINITY);
        RunBlocks(*fir, bad);
        fir->Reset();
        vshtest::ExpectQuietEars(RunBlocks(*fir, Planes(6, std::vector<float>(4 * N, 0.0f))));
    }
}

TEST(HeadphoneFirSignal, NoSubnormalOutputAfterAnImpulse) {
    for (int angle : {0, 15}) {
        auto fir = MakeFir();
        fir->SetCTCAngle(angle);
        Planes in(2, std::vector<float>(40 * N, 0.0f));
        in[0][0] = 1.0f;
        const Planes out = RunBlocks(*fir, in);
        vshtest::ExpectNoSubnormalEars(out);
        EXPECT_GT(vshtest::Peak(out[0]), 0.0);
    }
}

// Channel counts and lengths the engine has no buffers for give silence.
TEST(HeadphoneFirSignal, UnsupportedLayoutsGiveSilence) {
    struct Call {
        int outCh;
        int inCh;
        int len;
    };
    for (const Call call : {Call{2, 3, N}, Call{2, 1, N}, Call{2, 7, N}, Call{2, 2, 256}}) {
        auto fir = MakeFir();
        Planes in = Noise(8, N, 2);
        std::vector<float*> p = PlanePointers(in);
        Planes out(2, std::vector<float>(N, 5.0f));
        float* o[2] = {out[0].data(), out[1].data()};
        fir->Process(o, call.outCh, p.data(), call.inCh, call.len);
        for (int e = 0; e < 2; ++e)
            EXPECT_EQ(vshtest::Peak(std::vector<float>(out[e].begin(), out[e].begin() + call.len)),
                      0.0);
    }
}

TEST(HeadphoneFirMemory, RefusedAllocationsLeaveNothing) {
    vshtest::PoolHooksScope hooks;
    const std::uint64_t requests = vshtest::PoolRequestsOf([] { MakeFir(); });
    ASSERT_GT(requests, 0u);
    vshtest::WithEachRequestRefused(1, requests, [](std::uint64_t failing) {
        auto fir = std::make_unique<HeadphoneFir>();
        kernel::failPoolRequest(failing);
        EXPECT_EQ(fir->Init(), 0);
        kernel::clearPoolFaults();
        EXPECT_FALSE(fir->IsReady());
    });
}

// After Init, nothing on the block path takes memory: not Process, not a
// filter selection, not a crosstalk change, not Reset.
TEST(HeadphoneFirMemory, BlockPathAndSettersAllocateNothing) {
    vshtest::PoolHooksScope hooks;
    auto fir = MakeFir();
    const std::uint64_t serial = kernel::poolAllocationSerial();
    RunBlocks(*fir, Noise(8, 4 * N, 1));
    fir->SelectFilter(0, 24);
    fir->SetCTCAngle(30);
    RunBlocks(*fir, Noise(6, 2 * N, 1));
    fir->Reset();
    fir->SetCTCAngle(0);
    RunBlocks(*fir, Noise(2, 2 * N, 1));
    EXPECT_EQ(kernel::poolAllocationSerial(), serial);
}

// With the signal library raised to the processor's level, whose transforms
// need a work area at every order, the block path still takes no memory: Init
// supplies the work buffer. The level stays raised for the rest of a process,
// so the case runs in a child of its own.
TEST(HeadphoneFirMemory, BlockPathAllocatesNothingAtTheLibrarysFastestLevel) {
    EXPECT_EXIT(
        {
            sigCpuInitLevel();
            vshtest::PoolHooksScope hooks;
            auto fir = MakeFir();
            const std::uint64_t serial = kernel::poolAllocationSerial();
            RunBlocks(*fir, Noise(6, 4 * N, 1));
            std::exit(fir->IsReady() && kernel::poolAllocationSerial() == serial ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
