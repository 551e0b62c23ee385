#include "driver/effects/channel_mixer.h"

#include "driver/tests/test_planes.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

constexpr std::uint32_t kFrames = 37;

// Fold-down matrices, a row per output side, a column per input plane.
struct FoldCase {
    std::uint32_t channels;
    std::array<std::array<float, 8>, 2> matrix;
};

const float k = MixCentreGain;
const FoldCase kFolds[] = {
    {4, {{{1, 0, 1, 0}, {0, 1, 0, 1}}}},
    {6, {{{1, 0, k, 1, 1, 0}, {0, 1, k, 1, 0, 1}}}},
    {8, {{{1, 0, k, 1, 1, 0, 1, 0}, {0, 1, k, 1, 0, 1, 0, 1}}}},
};

// Full-scale noise in the given number of planes.
struct Planes {
    explicit Planes(std::uint32_t channels)
        : samples(NoisePlanes(kFrames, 99 + channels, 1.0f, static_cast<int>(channels))),
          pointers(PlanePointers(samples)) {}
    TestPlanes samples;
    std::vector<float*> pointers;
};

// Each side is the matrix row applied to the input frame, summed left to
// right in extended precision and rounded once.
TEST(ChannelMixer, FoldsFollowTheirMatrices) {
    for (const FoldCase& fold : kFolds) {
        SCOPED_TRACE(fold.channels);
        Planes planes(fold.channels);
        const auto input = planes.samples;
        MixChannels(planes.pointers.data(), fold.channels, 2, kFrames, 1);
        for (std::uint32_t i = 0; i < kFrames; ++i) {
            for (std::uint32_t side = 0; side < 2; ++side) {
                long double sum = 0.0L;
                for (std::uint32_t c = 0; c < fold.channels; ++c)
                    if (fold.matrix[side][c] != 0.0f)
                        sum += static_cast<long double>(fold.matrix[side][c]) * input[c][i];
                ASSERT_EQ(planes.samples[side][i], static_cast<float>(sum))
                    << "side " << side << " frame " << i;
            }
        }
        for (std::uint32_t c = 2; c < fold.channels; ++c) EXPECT_EQ(planes.samples[c], input[c]);
    }
}

TEST(ChannelMixer, KnownLevels) {
    struct Case {
        const char* name;
        std::uint32_t channels;
        std::array<float, 8> frame;
        float left, right;
    };
    const Case cases[] = {
        {"centre alone", 6, {0, 0, 1.0f, 0, 0, 0}, 0.707f, 0.707f},
        {"everything at half",
         8,
         {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
         2.3535f,
         2.3535f},
        {"back left to the left only", 4, {0, 0, 0.25f, 0}, 0.25f, 0.0f},
        {"side right to the right only", 8, {0, 0, 0, 0, 0, 0, 0, -0.5f}, 0.0f, -0.5f},
        {"low frequency to both", 6, {0, 0, 0, 0.125f, 0, 0}, 0.125f, 0.125f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<float>> samples(c.channels);
        std::vector<float*> planes;
        for (std::uint32_t ch = 0; ch < c.channels; ++ch) {
            samples[ch].assign(2, c.frame[ch]);
            planes.push_back(samples[ch].data());
        }
        MixChannels(planes.data(), c.channels, 2, 2, 1);
        for (int i = 0; i < 2; ++i) {
            EXPECT_FLOAT_EQ(samples[0][i], c.left);
            EXPECT_FLOAT_EQ(samples[1][i], c.right);
        }
    }
}

TEST(ChannelMixer, LeavesOtherBlocksUnchanged) {
    struct Case {
        const char* name;
        std::uint32_t inputChannels, outputChannels, frames;
        std::uint8_t plain;
    };
    const Case cases[] = {
        {"stereo", 2, 2, kFrames, 1},
        {"mono", 1, 2, kFrames, 1},
        {"three channels", 3, 2, kFrames, 1},
        {"five channels", 5, 2, kFrames, 1},
        {"seven channels", 7, 2, kFrames, 1},
        {"nine channels", 9, 2, kFrames, 1},
        {"no frames", 6, 2, 0, 1},
        {"not to stereo", 6, 4, kFrames, 1},
        {"matrix not plain", 8, 2, kFrames, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Planes planes(c.inputChannels);
        const auto input = planes.samples;
        MixChannels(planes.pointers.data(), c.inputChannels, c.outputChannels, c.frames, c.plain);
        EXPECT_EQ(planes.samples, input);
    }
}

} // namespace
