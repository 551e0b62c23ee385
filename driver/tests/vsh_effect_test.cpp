// CVshEffect, the driver's handle on the headphone virtualizer: bypass
// downmix, rendering of every channel count, parameter routing and the
// formats and failures that fall back to the bypass.
#include "driver/tests/vsh_test_support.h"
#include "driver/zurazuvera/common/VSH/vsh_effect.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using vshtest::Even;
using vshtest::Noise;
using vshtest::Planes;
constexpr kernel::PoolTag OwnerTag = kernel::poolTag("VYNE");

struct EffectDeleter {
    void operator()(CVshEffect* effect) const { delete effect; }
};
using Effect = std::unique_ptr<CVshEffect, EffectDeleter>;

Effect MakeEffect() { return Effect(new (kernel::PoolType::NonPagedNx, OwnerTag) CVshEffect); }

ks::WaveFormatEx Format(int channels, int rate) {
    ks::WaveFormatEx format{};
    format.wFormatTag = 3;
    format.nChannels = static_cast<std::uint16_t>(channels);
    format.nSamplesPerSec = static_cast<std::uint32_t>(rate);
    format.wBitsPerSample = 32;
    format.nBlockAlign = static_cast<std::uint16_t>(channels * 4);
    format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
    return format;
}

// The effect with the format set (expected to succeed) and `enable` set.
void Prepare(CVshEffect& effect, int channels, int rate, int enable = 1) {
    const ks::WaveFormatEx format = Format(channels, rate);
    EXPECT_EQ(effect.SetFormat(&format), 1);
    effect.SetEnable(enable);
}

// In place through Process in the given call lengths.
Planes Stream(CVshEffect& effect, Planes planes, const std::vector<int>& calls) {
    return vshtest::InCalls(std::move(planes), calls,
                            [&](float* const* p, int, int n) { effect.Process(p, n); });
}

// The bypass downmix, missing planes silent.
Planes Downmix(Planes in) {
    const std::size_t channels = in.size();
    if (channels <= 2) return in;
    auto at = [&](std::size_t c, std::size_t j) { return c < channels ? in[c][j] : 0.0f; };
    for (std::size_t j = 0; j < in[0].size(); ++j) {
        const float common = 0.707f * at(2, j) + at(3, j);
        const float l = 0.5f * (in[0][j] + common + at(4, j));
        const float r = 0.5f * (in[1][j] + common + at(5, j));
        in[0][j] = l + 0.5f * at(6, j);
        in[1][j] = r + 0.5f * at(7, j);
    }
    return in;
}

// Rendered output of an enabled effect over a noise stream.
Planes Render(CVshEffect& effect, int channels, int rate, int length = 6000) {
    Prepare(effect, channels, rate);
    return Stream(effect, Noise(channels, length, 7), vshtest::RandomCalls(length, 480, 2));
}

TEST(VshEffectBypass, NewEffectDownmixesUntilEnabled) {
    for (int channels = 1; channels <= 8; ++channels) {
        SCOPED_TRACE(channels);
        Effect effect = MakeEffect();
        ASSERT_TRUE(effect->HasState());
        Prepare(*effect, channels, 48000, 0);
        const Planes in = Noise(channels, 1000, 3);
        const Planes out = Stream(*effect, in, vshtest::RandomCalls(1000, 300, 1));
        const Planes expected = Downmix(in);
        for (int c = 0; c < channels; ++c) {
            for (std::size_t j = 0; j < in[c].size(); ++j)
                ASSERT_FLOAT_EQ(out[c][j], expected[c][j]) << c << " " << j;
        }
    }
}

TEST(VshEffectParameters, AngleCodesOfFlagAndAngle) {
    struct Row {
        int angle;
        int flag0;
        int flag1;
    };
    const Row rows[] = {{0, 24, 25},  {25, 24, 25}, {1, 29, 30},  {30, 29, 30}, {2, 34, 35},
                        {35, 34, 35}, {3, 39, 40},  {40, 39, 40}, {31, 31, 31}, {4, -1, -1},
                        {24, -1, -1}, {-1, -1, -1}, {45, -1, -1}};
    for (const Row& row : rows) {
        EXPECT_EQ(CVshEffect::AngleCode(0, row.angle), row.flag0) << row.angle;
        EXPECT_EQ(CVshEffect::AngleCode(1, row.angle), row.flag1) << row.angle;
        EXPECT_EQ(CVshEffect::AngleCode(7, row.angle), row.flag1) << row.angle;
    }
}

TEST(VshEffectParameters, Defaults) {
    Effect effect = MakeEffect();
    EXPECT_EQ(effect->GetOutputMode(), 0);
    EXPECT_EQ(effect->GetHeadphoneRoom(), 1);
    EXPECT_EQ(effect->GetSpeakerRoom(), 1);
    EXPECT_EQ(effect->GetHeadphoneFlag(), 0);
    EXPECT_EQ(effect->GetSpeakerFlag(), 0);
}

// Setters of the set not in use only store their values: the output is the
// same as without them.
TEST(VshEffectParameters, InactiveSetOnlyStores) {
    Effect a = MakeEffect();
    Effect b = MakeEffect();
    a->SetSpeakerRoom(0);
    a->SetSpeakerAngle(31);
    a->SetSpeakerFlag(1);
    b->SetOutputMode(1);
    b->SetHeadphoneRoom(0);
    b->SetHeadphoneAngle(31);
    b->SetOutputMode(0);
    EXPECT_EQ(Render(*a, 2, 44100), Render(*b, 2, 44100));
    // A setter of the active set does change the rendering.
    Effect c = MakeEffect();
    c->SetHeadphoneRoom(0);
    EXPECT_NE(Render(*a, 2, 44100), Render(*c, 2, 44100));
}

// Every channel count from 2 to 8 renders to planes 0 and 1 and leaves the
// others; 3 to 5 render as 5.1 and 7 as 7.1 with their missing planes
// silent, so a 5-channel stream renders as 5.1 with a silent surround right.
TEST(VshEffectRender, EveryChannelCountRenders) {
    for (int channels = 2; channels <= 8; ++channels) {
        SCOPED_TRACE(channels);
        Effect effect = MakeEffect();
        const Planes in = Noise(channels, 6000, 7);
        const Planes out = Render(*effect, channels, 48000);
        EXPECT_GT(vshtest::Peak(out[0], 2000), 0.05);
        EXPECT_GT(vshtest::Peak(out[1], 2000), 0.05);
        EXPECT_TRUE(vshtest::AllFinite(out[0]) && vshtest::AllFinite(out[1]));
        for (int c = 2; c < channels; ++c) EXPECT_EQ(out[c], in[c]) << c;
    }
    for (int channels : {3, 5, 7}) {
        Effect padded = MakeEffect();
        Effect full = MakeEffect();
        const int layout = channels == 7 ? 8 : 6;
        Prepare(*padded, channels, 44100);
        Prepare(*full, layout, 44100);
        const Planes in = Noise(channels, 3000, 4);
        Planes wide = in;
        wide.resize(layout, std::vector<float>(3000, 0.0f));
        const Planes a = Stream(*padded, in, Even(3000, 100));
        const Planes b = Stream(*full, wide, Even(3000, 100));
        EXPECT_EQ(a[0], b[0]) << channels;
        EXPECT_EQ(a[1], b[1]) << channels;
    }
}

TEST(VshEffectRender, RandomCallLengthsAreBitIdentical) {
    for (int rate : {22050, 48000, 96000}) {
        Effect a = MakeEffect();
        Effect b = MakeEffect();
        a->SetOutputMode(1);
        b->SetOutputMode(1);
        Prepare(*a, 6, rate);
        Prepare(*b, 6, rate);
        const Planes in = Noise(6, 5000, 1);
        EXPECT_EQ(Stream(*a, in, Even(5000, 1)),
                  Stream(*b, in, vshtest::RandomCalls(5000, 512, rate)))
            << rate;
    }
}

TEST(VshEffectRender, NonFiniteInputIsGoneAfterAFormatChange) {
    Effect effect = MakeEffect();
    Prepare(*effect, 8, 48000);
    effect->SetOutputMode(1);
    Stream(*effect, Planes(8, std::vector<float>(3000, NAN)), Even(3000, 480));
    Stream(*effect, Planes(8, std::vector<float>(3000, INFINITY)), Even(3000, 480));
    Prepare(*effect, 8, 48000);
    vshtest::ExpectQuietEars(
        Stream(*effect, Planes(8, std::vector<float>(8000, 0.0f)), Even(8000, 480)), 1e-6);
}

TEST(VshEffectRender, NoSubnormalOutputAfterAnImpulse) {
    for (int mode : {0, 1}) {
        Effect effect = MakeEffect();
        Prepare(*effect, 2, 48000);
        effect->SetOutputMode(mode);
        Planes in(2, std::vector<float>(48000, 0.0f));
        in[0][10] = 1.0f;
        vshtest::ExpectNoSubnormalEars(Stream(*effect, in, Even(48000, 48)));
    }
}

// After the first Process, neither processing nor any setter takes memory.
TEST(VshEffectRender, NothingIsAllocatedAfterTheFirstProcess) {
    vshtest::PoolHooksScope hooks;
    Effect effect = MakeEffect();
    Prepare(*effect, 8, 48000);
    Stream(*effect, Noise(8, 48, 1), {48});
    const std::uint64_t serial = kernel::poolAllocationSerial();
    Stream(*effect, Noise(8, 4800, 2), Even(4800, 48));
    effect->SetOutputMode(1);
    effect->SetCTCAngle(4);
    effect->SetSpeakerRoom(0);
    effect->SetSpeakerAngle(31);
    effect->SetOutputMode(0);
    effect->SetHeadphoneFlag(1);
    effect->SetHeadphoneAngle(2);
    Stream(*effect, Noise(8, 4800, 3), Even(4800, 48));
    effect->SetEnable(0);
    Stream(*effect, Noise(8, 480, 3), Even(480, 48));
    EXPECT_EQ(kernel::poolAllocationSerial(), serial);
}

// Formats the virtualizer cannot render fall back to the bypass: enabled
// Process then downmixes as a disabled one would. So do an effect enabled
// before any SetFormat (set up for six inputs, the stream taken as eight
// channels) and one whose good format was followed by a refused one.
TEST(VshEffectFaults, UnrenderableFormatsBypass) {
    struct Case {
        const char* name;
        int channels;
        int rate;
        int result;
    };
    for (const Case c : {Case{"176.4k", 2, 176400, -1}, Case{"192k", 6, 192000, -1},
                         Case{"rate 0", 2, 0, -1}, Case{"8k", 2, 8000, -1},
                         Case{"one channel", 1, 48000, 1}, Case{"no channels", 0, 48000, -1}}) {
        SCOPED_TRACE(c.name);
        Effect effect = MakeEffect();
        const ks::WaveFormatEx format = Format(c.channels, c.rate);
        EXPECT_EQ(effect->SetFormat(&format), c.result);
        effect->SetEnable(1);
        const int planes = std::max(c.channels, 1);
        const Planes in = Noise(planes, 2000, 5);
        EXPECT_EQ(Stream(*effect, in, Even(2000, 100)), planes > 1 ? Downmix(in) : in);
    }
    Effect early = MakeEffect();
    early->SetEnable(1);
    const Planes in = Noise(8, 1000, 6);
    EXPECT_EQ(Stream(*early, in, Even(1000, 100)), Downmix(in));

    Effect refused = MakeEffect();
    Render(*refused, 2, 48000, 2000);
    const ks::WaveFormatEx format = Format(6, 192000);
    EXPECT_EQ(refused->SetFormat(&format), -1);
    const Planes six = Noise(6, 1000, 6);
    EXPECT_EQ(Stream(*refused, six, Even(1000, 100)), Downmix(six));
}

TEST(VshEffectFaults, MoreThanEightChannelsAreRefused) {
    Effect effect = MakeEffect();
    const ks::WaveFormatEx format = Format(9, 48000);
    EXPECT_EQ(effect->SetFormat(&format), -1);
    EXPECT_EQ(effect->SetFormat(nullptr), -1);
}

// Every pool request of construction and SetFormat may be refused: the
// effect then bypasses, and nothing leaks.
TEST(VshEffectFaults, RefusedMemoryBypassesAndLeaksNothing) {
    vshtest::PoolHooksScope hooks;
    const ks::WaveFormatEx format = Format(6, 96000);
    const std::uint64_t requests = vshtest::PoolRequestsOf([&] {
        Effect effect = MakeEffect();
        ASSERT_EQ(effect->SetFormat(&format), 1);
    });
    // Request 1 is the effect object itself.
    vshtest::WithEachRequestRefused(2, requests, [&](std::uint64_t failing) {
        kernel::failPoolRequest(failing);
        Effect effect = MakeEffect();
        ASSERT_NE(effect, nullptr);
        const int result = effect->SetFormat(&format);
        kernel::clearPoolFaults();
        EXPECT_EQ(result, 0);
        effect->SetEnable(1);
        effect->SetHeadphoneRoom(0);
        effect->SetOutputMode(1);
        const Planes in = Noise(6, 1000, 6);
        EXPECT_EQ(Stream(*effect, in, Even(1000, 100)), Downmix(in));
    });
}

} // namespace
