#include "driver/engine/soft_mute_node.h"
#include "engine_test_doubles.h"
#include "test_wave_formats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using engine_test::Held;
using engine_test::Make;
using kernel::STATUS_INSUFFICIENT_RESOURCES;
using kernel::STATUS_SUCCESS;

constexpr std::uint32_t Frames = 6;

TEST(SoftMuteNode, SetUpTakesOneChannelOnly) {
    struct Case {
        std::uint32_t channels;
        kernel::NTSTATUS expected;
    };
    for (const Case c : {Case{1, STATUS_SUCCESS}, Case{2, STATUS_INSUFFICIENT_RESOURCES},
                         Case{0, STATUS_INSUFFICIENT_RESOURCES}}) {
        SCOPED_TRACE(c.channels);
        Held node(Make<CSoftMuteNode>(5u));
        EXPECT_EQ(node->AllocateOnOff(3, c.channels), c.expected);
        EXPECT_EQ(kernel::poolLiveBlocks(SoftNodeTag), c.expected == STATUS_SUCCESS ? 1u : 0u);
    }
}

// Planes for integer PCM, the interleaved bytes for anything else.
TEST(SoftMuteNode, MutedBlocksBecomeSilenceAndUnmutedStayAsTheyWere) {
    struct Case {
        const char* name;
        ks::WaveFormatExtensible format;
        std::uint8_t mute;
        bool planes;
    };
    const Case cases[] = {
        {"PCM tag, muted", TestPcmFormat(2, 16), 1, true},
        {"PCM tag, not muted", TestPcmFormat(2, 16), 0, true},
        {"extensible PCM, muted", TestExtensibleFormat(ks::format_tag::pcm, 3, 24, 24), 1, true},
        {"extensible float, muted", TestExtensibleFormat(ks::format_tag::ieeeFloat, 2, 32, 32), 1,
         false},
        {"float tag, muted", TestWaveFormat(ks::format_tag::ieeeFloat, 2, 32), 1, false},
        {"float tag, not muted", TestWaveFormat(ks::format_tag::ieeeFloat, 2, 32), 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Held node(Make<CSoftMuteNode>(5u));
        ASSERT_EQ(node->AllocateOnOff(3, 1), STATUS_SUCCESS);
        ASSERT_EQ(node->SetOnOff(0, c.mute), STATUS_SUCCESS);
        IDspNode* dsp = node.get();

        // Room beyond the block shows that nothing past it is touched.
        std::vector<std::vector<float>> planes(MaxDspChannels,
                                               std::vector<float>(Frames + 1, 0.5f));
        float* pointers[MaxDspChannels];
        for (std::uint32_t i = 0; i < MaxDspChannels; ++i) pointers[i] = planes[i].data();
        std::vector<std::uint8_t> bytes(Frames * c.format.Format.nBlockAlign + 1, 0x5A);

        void* data = c.planes ? static_cast<void*>(pointers) : static_cast<void*>(bytes.data());
        EXPECT_EQ(dsp->Process(&c.format, data, Frames), STATUS_SUCCESS);

        const bool silenced = c.mute != 0;
        for (std::uint32_t channel = 0; channel < MaxDspChannels; ++channel) {
            const bool inBlock = c.planes && silenced && channel < c.format.Format.nChannels;
            for (std::uint32_t i = 0; i < Frames; ++i)
                EXPECT_EQ(planes[channel][i], inBlock ? 0.0f : 0.5f) << channel << "/" << i;
            EXPECT_EQ(planes[channel][Frames], 0.5f);
        }
        for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
            EXPECT_EQ(bytes[i], !c.planes && silenced ? 0 : 0x5A) << i;
        EXPECT_EQ(bytes.back(), 0x5A);
    }
}

} // namespace
