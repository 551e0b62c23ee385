// The frame driver of the headphone virtualizer with an identity block
// process: framing, lag and level at every supported rate, and the formats
// it refuses.
#include "driver/tests/vsh_test_support.h"
#include "driver/zurazuvera/common/VSH/audio_app.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using vshtest::Even;
using vshtest::Planes;

// Passes each input channel to the output of the same index and records the
// channel counts it was given.
class IdentityApp : public AudioApp {
public:
    explicit IdentityApp(float gain = 0.0f) : AudioApp(2, 2, gain) {}
    int blocks = 0;
    int lastIn = -1;
    int lastOut = -1;

protected:
    void ProcessBlock(float* const* out, int nOutCh, float* const* in, int nInCh,
                      int len) override {
        ++blocks;
        lastIn = nInCh;
        lastOut = nOutCh;
        for (int c = 0; c < nOutCh; ++c) std::copy(in[c], in[c] + len, out[c]);
    }
};

// The planes through Process in the given call lengths, in place.
Planes Stream(AudioApp& app, Planes planes, const std::vector<int>& calls) {
    return vshtest::InCalls(std::move(planes), calls, [&](float* const* p, int channels, int n) {
        app.Process(p, channels, p, channels, n);
    });
}

struct RateCase {
    int rate;
    int blockLength; // at the stream rate
    int lag;         // one block plus the converters' look-ahead
};

constexpr RateCase Rates[] = {
    {22050, 256, 320}, {32000, 512, 640},   {44100, 512, 512},
    {48000, 512, 640}, {88200, 1024, 1152}, {96000, 1024, 1152},
};

class VshAudioAppRates : public ::testing::TestWithParam<RateCase> {};

// Block length, the lag of an impulse, and DC at unit gain once settled.
TEST_P(VshAudioAppRates, BlockLengthLagAndDcGain) {
    const RateCase c = GetParam();
    IdentityApp app;
    ASSERT_EQ(app.SetFormat(c.rate, 2, 2), 1);
    EXPECT_EQ(app.RealDataLen(), c.blockLength);
    Planes in(2, std::vector<float>(8 * 1024, 0.0f));
    in[0][1000] = 1.0f;
    in[1][1000] = -1.0f;
    const Planes out = Stream(app, in, Even(8 * 1024, 64));
    for (int e = 0; e < 2; ++e) {
        EXPECT_EQ(vshtest::PeakIndex(out[e]), 1000 + c.lag) << e;
        EXPECT_GT(vshtest::Peak(out[e]), 0.2);
    }
    ASSERT_EQ(app.SetFormat(c.rate, 2, 2), 1);
    const Planes dc =
        Stream(app, Planes(2, std::vector<float>(16 * 1024, 0.25f)), Even(16 * 1024, 128));
    for (std::size_t n = 8 * 1024; n < dc[0].size(); ++n) ASSERT_NEAR(dc[0][n], 0.25f, 1e-4) << n;
}

// Any split of the stream into calls gives the same output, bit for bit.
TEST_P(VshAudioAppRates, RandomCallLengthsAreBitIdentical) {
    const RateCase c = GetParam();
    const Planes in = vshtest::Noise(2, 6000, 1);
    IdentityApp a(1.0f), b(1.0f);
    ASSERT_EQ(a.SetFormat(c.rate, 2, 2), 1);
    ASSERT_EQ(b.SetFormat(c.rate, 2, 2), 1);
    EXPECT_EQ(Stream(a, in, Even(6000, 1)), Stream(b, in, vshtest::RandomCalls(6000, 700, 9)));
}

TEST_P(VshAudioAppRates, NonFiniteInputIsGoneAfterAFormatChange) {
    const RateCase c = GetParam();
    IdentityApp app;
    ASSERT_EQ(app.SetFormat(c.rate, 2, 2), 1);
    Stream(app, Planes(2, std::vector<float>(4096, NAN)), Even(4096, 512));
    Stream(app, Planes(2, std::vector<float>(4096, -INFINITY)), Even(4096, 512));
    ASSERT_EQ(app.SetFormat(c.rate, 2, 2), 1);
    vshtest::ExpectQuietEars(
        Stream(app, Planes(2, std::vector<float>(4096, 0.0f)), Even(4096, 512)));
}

TEST_P(VshAudioAppRates, NoSubnormalOutputAfterAnImpulse) {
    const RateCase c = GetParam();
    for (float gain : {0.0f, 1.0f}) {
        IdentityApp app(gain);
        ASSERT_EQ(app.SetFormat(c.rate, 2, 2), 1);
        Planes in(2, std::vector<float>(200 * 1024, 0.0f));
        in[0][0] = in[1][0] = 1.0f;
        SCOPED_TRACE(gain);
        vshtest::ExpectNoSubnormalEars(Stream(app, in, Even(200 * 1024, 1024)));
    }
}

TEST_P(VshAudioAppRates, ProcessAllocatesNothing) {
    const RateCase c = GetParam();
    vshtest::PoolHooksScope hooks;
    IdentityApp app;
    ASSERT_EQ(app.SetFormat(c.rate, 2, 2), 1);
    const std::uint64_t serial = kernel::poolAllocationSerial();
    Stream(app, vshtest::Noise(2, 5000, 1), vshtest::RandomCalls(5000, 900, 1));
    EXPECT_EQ(kernel::poolAllocationSerial(), serial);
}

INSTANTIATE_TEST_SUITE_P(Rates, VshAudioAppRates, ::testing::ValuesIn(Rates),
                         [](const auto& info) { return std::to_string(info.param.rate); });

// At the internal rate the output is the block process's, one block late.
TEST(VshAudioApp, InternalRateIsOneBlockLateExactly) {
    IdentityApp app;
    ASSERT_EQ(app.SetFormat(44100, 2, 2), 1);
    const Planes in = vshtest::Noise(2, 3000, 4);
    const Planes out = Stream(app, in, vshtest::RandomCalls(3000, 600, 2));
    for (int e = 0; e < 2; ++e)
        for (std::size_t n = 0; n < in[e].size(); ++n)
            ASSERT_EQ(out[e][n], n >= 512 ? in[e][n - 512] : 0.0f) << n;
}

// The block process runs with the channel counts of the call that completed
// the block; a null input plane is silence.
TEST(VshAudioApp, BlockProcessGetsTheCallsChannelCounts) {
    IdentityApp app;
    ASSERT_EQ(app.SetFormat(44100, 8, 2), 1);
    std::vector<float> a(512, 0.5f), b(512, 0.5f), zeros(512);
    float* in[3] = {a.data(), nullptr, b.data()};
    float* out[2] = {a.data(), zeros.data()};
    app.Process(out, 2, in, 3, 512);
    EXPECT_EQ(app.blocks, 1);
    EXPECT_EQ(app.lastIn, 3);
    EXPECT_EQ(app.lastOut, 2);
    app.Process(out, 2, in, 3, 512);
    EXPECT_EQ(vshtest::Peak(zeros), 0.0);
    EXPECT_EQ(a[0], 0.5f);
}

// Rates without a converter (factor 3 or more), rate 0 and impossible
// channel counts are refused: no buffers, and Process changes nothing.
TEST(VshAudioApp, UnsupportedFormatsAreRefused) {
    struct Format {
        int rate;
        int in;
        int out;
    };
    for (const Format f : {Format{176400, 2, 2}, Format{192000, 2, 2}, Format{0, 2, 2},
                           Format{-48000, 2, 2}, Format{8000, 2, 2}, Format{11025, 2, 2},
                           Format{48000, 9, 2}, Format{48000, 2, 3}, Format{48000, 0, 0}}) {
        SCOPED_TRACE(f.rate * 100 + f.in * 10 + f.out);
        IdentityApp app;
        EXPECT_EQ(app.SetFormat(f.rate, f.in, f.out), 0);
        EXPECT_FALSE(app.IsReady());
        EXPECT_EQ(kernel::poolLiveBlocks(), 0u);
        std::vector<float> plane = vshtest::Noise(4096, 3);
        const std::vector<float> before = plane;
        float* p[1] = {plane.data()};
        app.Process(p, 1, p, 1, 4096);
        EXPECT_EQ(plane, before);
    }
}

TEST(VshAudioApp, RefusedMemoryLeavesNothing) {
    vshtest::PoolHooksScope hooks;
    const std::uint64_t requests = vshtest::PoolRequestsOf([] {
        IdentityApp app;
        ASSERT_EQ(app.SetFormat(96000, 8, 2), 1);
    });
    vshtest::WithEachRequestRefused(1, requests, [](std::uint64_t failing) {
        IdentityApp app;
        kernel::failPoolRequest(failing);
        EXPECT_EQ(app.SetFormat(96000, 8, 2), 0);
        EXPECT_EQ(kernel::poolLiveBlocks(), 0u);
    });
}

} // namespace
