// The frame driver filters all channels of a block side by side. Every
// channel must keep the bits it had when the channels ran one after another
// (the multi-channel IIR itself is checked against a plain scalar form in the
// signal primitives' tests): the converters against one converter per call,
// and the whole virtualizer against digests of its output recorded while each
// channel still ran alone.
#include "driver/tests/vsh_test_support.h"
#include "driver/zurazuvera/common/VSH/src_converter.h"
#include "driver/zurazuvera/common/VSH/vsh_effect.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using vshtest::Noise;
using vshtest::Planes;

template <typename T> std::vector<T*> PointersTo(std::vector<T>& objects) {
    std::vector<T*> pointers;
    for (T& object : objects) pointers.push_back(&object);
    return pointers;
}

// Converters of different factors and filter kinds in one call, more than
// run in one pass: each gets what it gives alone.
TEST(VshChannels, ConverterChannelsMatchOneConverterAtATime) {
    const int rates[] = {48000, 96000, 48000, 88200, 22050, 44100, 48000, 96000, 48000};
    constexpr int count = 9;
    std::vector<SRC> together(count), alone(count);
    for (int c = 0; c < count; ++c) {
        const int kind = c % 3 == 1 ? 0 : 1;
        ASSERT_EQ(together[c].Init(rates[c], 44100, kind), 1);
        ASSERT_EQ(alone[c].Init(rates[c], 44100, kind), 1);
    }
    const std::vector<SRC*> group = PointersTo(together);
    for (int round = 0; round < 3; ++round) {
        constexpr int len = 512;
        Planes in = Noise(8, len, 20 + round);
        in.push_back(Noise(len, 40 + round));
        Planes down(count, std::vector<float>(len)), downAlone = down;
        Planes up(count, std::vector<float>(2 * len)), upAlone = up;
        const std::vector<float*> inPointers = PlanePointers(in);
        const std::vector<const float*> sources(inPointers.begin(), inPointers.end());
        SRC::DownChannels(group.data(), PlanePointers(down).data(), sources.data(), count, len);
        SRC::UpChannels(group.data(), PlanePointers(up).data(), sources.data(), count, len / 2);
        for (int c = 0; c < count; ++c) {
            alone[c].Down(downAlone[c].data(), in[c].data(), len);
            alone[c].Up(upAlone[c].data(), in[c].data(), len / 2);
        }
        EXPECT_EQ(down, downAlone);
        EXPECT_EQ(up, upAlone);
    }
}

// FNV-1a over the bits of both ears.
std::uint64_t Digest(const Planes& planes) {
    std::uint64_t hash = 1469598103934665603ull;
    for (int e = 0; e < 2; ++e)
        for (float sample : planes[e]) {
            std::uint32_t bits = 0;
            std::memcpy(&bits, &sample, sizeof bits);
            for (int k = 0; k < 4; ++k) {
                hash ^= (bits >> (8 * k)) & 0xffu;
                hash *= 1099511628211ull;
            }
        }
    return hash;
}

struct ChainCase {
    int rate;
    int channels;
    int crosstalk;
    std::uint64_t digest;
};

// Recorded from the virtualizer as it was when the converters filtered one
// channel after another.
const ChainCase ChainCases[] = {
    {48000, 8, 1, 0xc63cf577ab1aa196ull}, {48000, 8, 0, 0xf6e7ce287ad616a7ull},
    {48000, 2, 1, 0x99d18af1b5b5e173ull}, {48000, 6, 1, 0x4850192617dbcef7ull},
    {48000, 5, 0, 0x7c42008c3133a052ull}, {44100, 8, 1, 0x3797f78f90528fe3ull},
    {22050, 8, 1, 0xe5664cc72bd83c1full}, {32000, 7, 1, 0xaa94d697153b8909ull},
    {96000, 8, 1, 0x1d4b8373cf8dfd2eull}, {88200, 2, 0, 0x65761896a2a45685ull},
};

TEST(VshChannels, VirtualizerOutputIsBitIdenticalToTheOneChannelPath) {
    constexpr kernel::PoolTag ownerTag = kernel::poolTag("VYNE");
    for (const ChainCase& test : ChainCases) {
        SCOPED_TRACE(testing::Message() << test.rate << " Hz, " << test.channels
                                        << " channels, crosstalk " << test.crosstalk);
        std::unique_ptr<CVshEffect> effect(new (kernel::PoolType::NonPagedNx, ownerTag) CVshEffect);
        ks::WaveFormatEx format{};
        format.nChannels = static_cast<std::uint16_t>(test.channels);
        format.nSamplesPerSec = static_cast<std::uint32_t>(test.rate);
        ASSERT_EQ(effect->SetFormat(&format), 1);
        effect->SetOutputMode(test.crosstalk);
        effect->SetCTCAngle(3);
        effect->SetEnable(1);
        const int length = 6 * 512 * (test.rate > 48000 ? 2 : 1);
        const Planes out = vshtest::InCalls(
            Noise(test.channels, length, 3), vshtest::RandomCalls(length, 480, 5),
            [&](float* const* planes, int, int frames) { effect->Process(planes, frames); });
        EXPECT_GT(vshtest::Peak(out[0]) + vshtest::Peak(out[1]), 0.01);
        EXPECT_EQ(Digest(out), test.digest) << std::hex << "0x" << Digest(out);
    }
}

} // namespace
