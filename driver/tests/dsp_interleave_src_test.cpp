#include "driver/effects/dsp_interleave_src.h"
#include "driver/tests/test_wave_formats.h"
#include "platform/kernel/debug_print.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/spin_lock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Format = ks::WaveFormatExtensible;

// An adapter as the wave stream holds one: in the pool, created.
struct Adapter {
    std::unique_ptr<CDspInterleaveSrc> src{new (DspStagePool, DspAdapterTag) CDspInterleaveSrc()};
    Adapter() { EXPECT_TRUE(src->Create()); }
};

using Steps = std::vector<std::pair<const CDspSrcStage*, SrcDirection>>;

// The stages a pair of rates needs, by rule rather than by table: within its
// family (44100 or 48000 times 1, 2 or 4) the rate goes down by the integer
// stage first, crosses families with the rational stage (up from the 44100
// family), and goes up by the integer stage last.
Steps ExpectedSteps(const CDspInterleaveSrc& src, std::uint32_t in, std::uint32_t out) {
    const bool in44 = in % 44100 == 0, out44 = out % 44100 == 0;
    const std::uint32_t inMultiple = in / (in44 ? 44100 : 48000);
    const std::uint32_t outMultiple = out / (out44 ? 44100 : 48000);
    const auto integer = [&](std::uint32_t ratio) -> const CDspSrcStage* {
        return ratio == 2 ? static_cast<const CDspSrcStage*>(src.GetStage2x()) : src.GetStage4x();
    };
    Steps steps{{src.GetSplitStage(), SrcDirection::Down}};
    if (outMultiple < inMultiple)
        steps.emplace_back(integer(inMultiple / outMultiple), SrcDirection::Down);
    if (in44 != out44)
        steps.emplace_back(src.GetStageFir(), in44 ? SrcDirection::Up : SrcDirection::Down);
    if (outMultiple > inMultiple)
        steps.emplace_back(integer(outMultiple / inMultiple), SrcDirection::Up);
    return steps;
}

Steps ListedSteps(const CDspInterleaveSrc& src) {
    Steps steps;
    for (std::uint32_t i = 0; i < CDspInterleaveSrc::MaxStages; ++i)
        if (const CDspSrcStage* stage = src.GetStage(i))
            steps.emplace_back(stage, stage->GetDirection());
    return steps;
}

// The stream resets and sets the adapter under its spin lock: nothing may
// come from the pool there, and every listed stage must be ready to convert.
TEST(DspInterleaveSrc, EveryRatePairListsItsStagesInOrder) {
    Adapter adapter;
    CDspInterleaveSrc& src = *adapter.src;
    kernel::SpinLock lock;
    const std::uint64_t requests = kernel::poolRequestCount();
    for (std::uint32_t in : {44100, 48000, 88200, 96000, 176400, 192000})
        for (std::uint32_t out : {44100, 48000, 88200, 96000, 176400, 192000}) {
            SCOPED_TRACE(std::to_string(in) + " -> " + std::to_string(out));
            kernel::SpinLockGuard guard(lock);
            ASSERT_TRUE(src.Reset());
            ASSERT_TRUE(src.SetFormat(TestPcmFormat(2, 16, in), TestPcmFormat(6, 24, out)));
            EXPECT_EQ(ListedSteps(src), ExpectedSteps(src, in, out));
            for (std::uint32_t i = 1; src.GetStage(i) != nullptr; ++i) {
                const float samples[4] = {0.25f, 0.5f, 0.25f, 0.0f};
                std::uint32_t count = 4;
                EXPECT_TRUE(src.GetStage(i)->Process(7, samples, &count) && count > 0);
            }
        }
    EXPECT_EQ(kernel::poolRequestCount(), requests);
}

struct Refusal {
    const char* message; // null: refused without one
    std::function<void(Format& in, Format& out)> spoil;
};

// Spoiling check i and every later one gives check i's message alone and
// leaves the formats and stages of the last good call.
TEST(DspInterleaveSrc, RefusalsComeInOrderWithTheirMessagesAndChangeNothing) {
    const std::string self = "CDspInterleaveSrc::SetFormat ";
    const std::string channels = "Format.nChannels > MAX_SOFTWARE_DSP_PROCESS_CHANNELS\n";
    const std::string notListed[] = {self + "InFormat.Format.nSamplesPerSec not in List\n",
                                     self + "InFormat.Format.wBitsPerSample not in List\n",
                                     self + "OutFormat.Format.nSamplesPerSec not in List\n"};
    const std::string messages[] = {self + "Tag not PCM\n", self + "InFormat." + channels,
                                    self + "Output Tag not PCM\n",
                                    self + "Output OutFormat." + channels};
    const Refusal refusals[] = {
        {messages[0].c_str(), [](Format& in, Format&) { in.Format.wFormatTag = 2; }},
        {messages[1].c_str(), [](Format& in, Format&) { in.Format.nChannels = 9; }},
        {notListed[0].c_str(), [](Format& in, Format&) { in.Format.nSamplesPerSec = 22050; }},
        {notListed[1].c_str(), [](Format& in, Format&) { in.Format.wBitsPerSample = 20; }},
        {messages[2].c_str(), [](Format&, Format& out) { out.SubFormat = ks::subFormatOf(2); }},
        {messages[3].c_str(), [](Format&, Format& out) { out.Format.nChannels = 9; }},
        {notListed[2].c_str(), [](Format&, Format& out) { out.Format.nSamplesPerSec = 22050; }},
        {nullptr, [](Format&, Format& out) { out.Format.wBitsPerSample = 20; }},
    };
    Adapter adapter;
    CDspInterleaveSrc& src = *adapter.src;
    ASSERT_TRUE(src.SetFormat(TestPcmFormat(2, 16, 44100), TestPcmFormat(2, 16, 192000)));
    const Steps stages = ListedSteps(src);
    for (std::size_t first = 0; first < std::size(refusals); ++first) {
        SCOPED_TRACE(first);
        Format in = TestPcmFormat(2, 16, 48000);
        Format out = TestExtensibleFormat(ks::format_tag::pcm, 2, 32, 24);
        for (std::size_t k = first; k < std::size(refusals); ++k) refusals[k].spoil(in, out);
        kernel::clearDebugLog();
        EXPECT_FALSE(src.SetFormat(in, out));
        const char* message = refusals[first].message;
        EXPECT_EQ(kernel::debugLog(),
                  message ? std::vector<std::string>{message} : std::vector<std::string>{});
        EXPECT_EQ(src.GetInputFormat().Format.nSamplesPerSec, 44100u);
        EXPECT_EQ(src.GetOutputFormat().Format.nSamplesPerSec, 192000u);
        EXPECT_EQ(ListedSteps(src), stages);
    }
}

TEST(DspInterleaveSrc, TakesPcmAndFloatByTheirEffectiveTag) {
    Adapter adapter;
    const std::pair<Format, bool> cases[] = {
        {TestWaveFormat(ks::format_tag::ieeeFloat, 2, 32), true},
        {TestExtensibleFormat(ks::format_tag::pcm, 8, 24, 24), true},
        {TestExtensibleFormat(ks::format_tag::ieeeFloat, 2, 32, 32), true},
        {TestExtensibleFormat(2, 2, 16, 16), false},
        {TestWaveFormat(ks::format_tag::extensible, 2, 16), false}, // empty sub-format
    };
    for (const auto& [in, accepted] : cases)
        EXPECT_EQ(adapter.src->SetFormat(in, TestPcmFormat(2, 16)), accepted);
}

bool SameBytes(const Format& a, const Format& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The split stage keeps the formats as given; its conversion gets their
// 32-bit float descriptions, a float format as it stands.
TEST(DspInterleaveSrc, ChannelConversionGetsFloatDescriptions) {
    Adapter adapter;
    const Format pcm = TestPcmFormat(6, 16, 44100);
    Format extensible = TestExtensibleFormat(ks::format_tag::pcm, 2, 32, 24);
    extensible.dwChannelMask = 3;
    Format extensibleFloat = TestExtensibleFormat(ks::format_tag::ieeeFloat, 2, 32, 32);
    extensibleFloat.dwChannelMask = 3;
    const Format floats24 = TestWaveFormat(ks::format_tag::ieeeFloat, 2, 24);
    const CDspSplitStage& split = *adapter.src->GetSplitStage();
    ASSERT_TRUE(adapter.src->SetFormat(pcm, extensible));
    EXPECT_TRUE(SameBytes(split.GetInputFormat(), pcm));
    EXPECT_TRUE(SameBytes(split.GetOutputFormat(), extensible));
    EXPECT_TRUE(SameBytes(split.GetConversion()->GetInputFormat(),
                          TestWaveFormat(ks::format_tag::ieeeFloat, 6, 32, 44100)));
    EXPECT_TRUE(SameBytes(split.GetConversion()->GetOutputFormat(), extensibleFloat));
    ASSERT_TRUE(adapter.src->SetFormat(floats24, floats24));
    EXPECT_TRUE(SameBytes(split.GetConversion()->GetInputFormat(), floats24));
}

TEST(ChannelConversion, RefusesWhatIsNotEightChannelsOfFloatAndTakesOneOwner) {
    const Format floats = TestWaveFormat(ks::format_tag::ieeeFloat, 8, 32);
    Format nine = floats;
    nine.Format.nChannels = 9;
    const std::string self = "CChannelConversion::SetFormat ";
    const std::string channels = self + "InFormat.Format.nChannels > "
                                        "MAX_SOFTWARE_DSP_PROCESS_CHANNELS\n";
    const struct {
        Format in, out;
        std::string message;
    } cases[] = {
        {TestPcmFormat(2, 32), floats, self + "Tag not WAVE_FORMAT_IEEE_FLOAT\n"},
        {floats, TestPcmFormat(2, 32), self + "Output Tag not WAVE_FORMAT_IEEE_FLOAT\n"},
        {nine, floats, channels},
        {floats, nine, channels},
    };
    CChannelConversion conversion;
    ASSERT_TRUE(conversion.SetFormat(floats, floats));
    for (const auto& c : cases) {
        kernel::clearDebugLog();
        EXPECT_FALSE(conversion.SetFormat(c.in, c.out));
        EXPECT_EQ(kernel::debugLog(), std::vector<std::string>{c.message});
        EXPECT_TRUE(SameBytes(conversion.GetInputFormat(), floats));
        EXPECT_TRUE(SameBytes(conversion.GetOutputFormat(), floats));
    }
    EXPECT_TRUE(conversion.Take());
    EXPECT_FALSE(conversion.Take());
}

TEST(DspInterleaveSrc, SecondCreateIsRefusedAndTakesNothing) {
    Adapter adapter;
    const std::size_t live = kernel::poolLiveBlocks();
    EXPECT_FALSE(adapter.src->Create());
    EXPECT_EQ(kernel::poolLiveBlocks(), live);
}

// Whichever request the pool refuses, Create fails, the partial adapter sets
// no format (there are no stages to set), resets what it has, and Destroy
// leaves nothing behind.
TEST(DspInterleaveSrc, EveryRefusedAllocationLeavesNothingAfterDestroy) {
    const std::uint64_t before = kernel::poolRequestCount();
    { Adapter adapter; }
    const std::uint64_t requests = kernel::poolRequestCount() - before - 1; // less the adapter
    // Split stage, conversion, three rate stages, 4 x 24 channel buffers, work buffer.
    EXPECT_EQ(requests, 2u + 3u + 4u * 24u + 1u);
    for (std::uint64_t failing = 1; failing <= requests; ++failing) {
        SCOPED_TRACE(failing);
        CDspInterleaveSrc src;
        kernel::failPoolRequest(failing);
        EXPECT_FALSE(src.Create());
        kernel::clearPoolFaults();
        kernel::clearDebugLog();
        EXPECT_FALSE(src.SetFormat(TestPcmFormat(2, 16), TestPcmFormat(2, 16, 44100)));
        EXPECT_EQ(kernel::debugLog(),
                  std::vector<std::string>{"CDspInterleaveSrc::SetFormat not created\n"});
        EXPECT_TRUE(src.Reset());
        src.Destroy();
        EXPECT_EQ(kernel::poolLiveBlocks(), 0u);
    }
}

} // namespace
