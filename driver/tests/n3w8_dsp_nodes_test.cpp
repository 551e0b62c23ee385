#include "driver/devmodel/chips/n3w8/n3w8_dsp_nodes.h"
#include "engine_test_doubles.h"
#include "test_wave_formats.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using engine_test::Held;
using engine_test::Make;

constexpr std::uint32_t Frames = 4;

// Eight planes, plane c holding c + 1 in every frame.
struct Planes {
    Planes() {
        for (std::size_t c = 0; c < samples.size(); ++c) {
            samples[c].assign(Frames, static_cast<float>(c + 1));
            pointers[c] = samples[c].data();
        }
    }
    std::array<std::vector<float>, 8> samples;
    std::array<float*, 8> pointers{};

    std::vector<float> FirstFrame() const {
        std::vector<float> values;
        for (const auto& plane : samples) values.push_back(plane[Frames - 1]);
        return values;
    }
};

TEST(N3W8ChannelSwapNode, SwapsBackAndSidePairsOfEightChannelPcmOnly) {
    const std::vector<float> unchanged = {1, 2, 3, 4, 5, 6, 7, 8};
    const std::vector<float> swapped = {1, 2, 3, 4, 7, 8, 5, 6};
    const struct {
        const char* name;
        ks::WaveFormatExtensible format;
        std::vector<float> expected;
    } cases[] = {
        {"8-channel PCM", TestPcmFormat(8, 16), swapped},
        {"8 planes, 6 valid bits' worth", TestExtensibleFormat(ks::format_tag::pcm, 8, 24, 16),
         swapped},
        {"6-channel PCM", TestPcmFormat(6, 16), unchanged},
        {"2-channel PCM", TestPcmFormat(2, 16), unchanged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Held node(Make<CN3W8ChannelSwapNode>());
        Planes planes;
        ASSERT_EQ(node->Process(&c.format, planes.pointers.data(), Frames), kernel::STATUS_SUCCESS);
        EXPECT_EQ(planes.FirstFrame(), c.expected);
    }
}

TEST(N3W8AttenuateNode, EachModeScalesPcmAndLeavesOtherDataAlone) {
    const struct {
        std::uint32_t mode;
        float gain;
    } cases[] = {{CN3W8AttenuateNode::Pass, 1.0f},
                 {CN3W8AttenuateNode::Quarter, 0.25f},
                 {CN3W8AttenuateNode::Silence, 0.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        Held node(Make<CN3W8AttenuateNode>(0u));
        ASSERT_EQ(node->SetMode(c.mode), kernel::STATUS_SUCCESS);
        Planes planes;
        const ks::WaveFormatExtensible pcm = TestPcmFormat(8, 16);
        ASSERT_EQ(node->Process(&pcm, planes.pointers.data(), Frames), kernel::STATUS_SUCCESS);
        for (std::size_t ch = 0; ch < 8; ++ch)
            EXPECT_EQ(planes.samples[ch][0], static_cast<float>(ch + 1) * c.gain);

        std::vector<std::uint8_t> interleaved(Frames * 4, 0x5A);
        const ks::WaveFormatExtensible compressed = TestWaveFormat(0x0092, 2, 16);
        ASSERT_EQ(node->Process(&compressed, interleaved.data(), Frames), kernel::STATUS_SUCCESS);
        EXPECT_EQ(interleaved, std::vector<std::uint8_t>(Frames * 4, 0x5A));
    }
}

TEST(N3W8AttenuateNode, RefusesAModeItDoesNotHave) {
    Held node(Make<CN3W8AttenuateNode>(1u));
    EXPECT_EQ(node->SetMode(3), kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(node->GetMode(), CN3W8AttenuateNode::Quarter);
}

} // namespace
