#include "driver/effects/dsp_interleave_src.h"
#include "driver/tests/test_wave_formats.h"
#include "platform/kernel/debug_print.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/spin_lock.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Format = ks::WaveFormatExtensible;

constexpr std::array<std::uint32_t, 6> kRates = {44100, 48000, 88200, 96000, 176400, 192000};

// An adapter as the wave stream holds one: in the pool, created.
struct Adapter {
    std::unique_ptr<CDspInterleaveSrc> src{new (kernel::PoolType::NonPagedNx, DspAdapterTag)
                                               CDspInterleaveSrc()};
    Adapter() { EXPECT_TRUE(src->Create()); }
};

struct Step {
    const CDspSrcStage* stage;
    SrcDirection direction;
    bool operator==(const Step&) const = default;
};

// The stages a pair of rates needs, by the rule rather than the table: the
// rate within its family (44100 or 48000 times 1, 2 or 4) goes down by the
// integer stage first, crosses the families at the lower rate with the
// rational stage (up from the 44100 family), and goes up by the integer
// stage last.
std::vector<Step> ExpectedSteps(const CDspInterleaveSrc& src, std::uint32_t in, std::uint32_t out) {
    const bool in44 = in % 44100 == 0;
    const bool out44 = out % 44100 == 0;
    const std::uint32_t inMultiple = in / (in44 ? 44100 : 48000);
    const std::uint32_t outMultiple = out / (out44 ? 44100 : 48000);
    const auto integerStage = [&](std::uint32_t ratio) -> const CDspSrcStage* {
        return ratio == 2 ? static_cast<const CDspSrcStage*>(src.GetStage2x()) : src.GetStage4x();
    };
    std::vector<Step> steps{{src.GetSplitStage(), SrcDirection::Down}};
    if (outMultiple < inMultiple)
        steps.push_back({integerStage(inMultiple / outMultiple), SrcDirection::Down});
    if (in44 != out44)
        steps.push_back({src.GetStageFir(), in44 ? SrcDirection::Up : SrcDirection::Down});
    if (outMultiple > inMultiple)
        steps.push_back({integerStage(outMultiple / inMultiple), SrcDirection::Up});
    return steps;
}

std::vector<Step> ListedSteps(const CDspInterleaveSrc& src) {
    std::vector<Step> steps;
    for (std::uint32_t i = 0; i < CDspInterleaveSrc::MaxStages; ++i)
        if (const CDspSrcStage* stage = src.GetStage(i))
            steps.push_back({stage, stage->GetDirection()});
    return steps;
}

TEST(DspInterleaveSrc, EveryRatePairListsItsStagesInOrder) {
    Adapter adapter;
    CDspInterleaveSrc& src = *adapter.src;
    for (std::uint32_t in : kRates)
        for (std::uint32_t out : kRates) {
            SCOPED_TRACE(std::to_string(in) + " -> " + std::to_string(out));
            ASSERT_TRUE(src.Reset());
            ASSERT_TRUE(src.SetFormat(TestPcmFormat(2, 16, in), TestPcmFormat(6, 24, out)));
            EXPECT_EQ(ListedSteps(src), ExpectedSteps(src, in, out));
            EXPECT_EQ(src.GetInputFormat().Format.nSamplesPerSec, in);
            EXPECT_EQ(src.GetOutputFormat().Format.nSamplesPerSec, out);
            // Every listed rate stage was reset in its direction and converts.
            for (std::uint32_t i = 1; i < CDspInterleaveSrc::MaxStages; ++i) {
                if (src.GetStage(i) == nullptr) continue;
                const float samples[4] = {0.25f, 0.5f, 0.25f, 0.0f};
                std::uint32_t count = 4;
                EXPECT_TRUE(src.GetStage(i)->Process(7, samples, &count));
                EXPECT_GT(count, 0u);
            }
        }
}

struct Refusal {
    const char* message; // null: refused without one
    std::function<void(Format& in, Format& out)> spoil;
};

const std::vector<Refusal>& Refusals() {
    static const std::vector<Refusal> refusals = {
        {"CDspInterleaveSrc::SetFormat Tag not PCM\n",
         [](Format& in, Format&) { in.Format.wFormatTag = 2; }},
        {"CDspInterleaveSrc::SetFormat InFormat.Format.nChannels > "
         "MAX_SOFTWARE_DSP_PROCESS_CHANNELS\n",
         [](Format& in, Format&) { in.Format.nChannels = 9; }},
        {"CDspInterleaveSrc::SetFormat InFormat.Format.nSamplesPerSec not in List\n",
         [](Format& in, Format&) { in.Format.nSamplesPerSec = 22050; }},
        {"CDspInterleaveSrc::SetFormat InFormat.Format.wBitsPerSample not in List\n",
         [](Format& in, Format&) { in.Format.wBitsPerSample = 20; }},
        {"CDspInterleaveSrc::SetFormat Output Tag not PCM\n",
         [](Format&, Format& out) { out.SubFormat = ks::subFormatOf(2); }},
        {"CDspInterleaveSrc::SetFormat Output OutFormat.Format.nChannels > "
         "MAX_SOFTWARE_DSP_PROCESS_CHANNELS\n",
         [](Format&, Format& out) { out.Format.nChannels = 9; }},
        {"CDspInterleaveSrc::SetFormat OutFormat.Format.nSamplesPerSec not in List\n",
         [](Format&, Format& out) { out.Format.nSamplesPerSec = 22050; }},
        {nullptr, [](Format&, Format& out) { out.Format.wBitsPerSample = 20; }},
    };
    return refusals;
}

// Spoiling check i and every later one must give check i's message alone,
// and leave the formats and stages of the last good call in place.
TEST(DspInterleaveSrc, RefusalsComeInOrderWithTheirMessagesAndChangeNothing) {
    Adapter adapter;
    CDspInterleaveSrc& src = *adapter.src;
    const Format goodIn = TestPcmFormat(2, 16, 44100);
    const Format goodOut = TestPcmFormat(2, 16, 192000);
    ASSERT_TRUE(src.SetFormat(goodIn, goodOut));
    const std::vector<Step> stages = ListedSteps(src);
    const std::vector<Refusal>& refusals = Refusals();
    for (std::size_t first = 0; first < refusals.size(); ++first) {
        SCOPED_TRACE(first);
        Format in = TestPcmFormat(2, 16, 48000);
        Format out = TestExtensibleFormat(ks::format_tag::pcm, 2, 32, 24);
        out.Format.nSamplesPerSec = 96000;
        for (std::size_t k = first; k < refusals.size(); ++k) refusals[k].spoil(in, out);
        kernel::clearDebugLog();
        EXPECT_FALSE(src.SetFormat(in, out));
        const std::vector<std::string> expected =
            refusals[first].message ? std::vector<std::string>{refusals[first].message}
                                    : std::vector<std::string>{};
        EXPECT_EQ(kernel::debugLog(), expected);
        EXPECT_EQ(src.GetInputFormat().Format.nSamplesPerSec, 44100u);
        EXPECT_EQ(src.GetOutputFormat().Format.nSamplesPerSec, 192000u);
        EXPECT_EQ(ListedSteps(src), stages);
    }
}

TEST(DspInterleaveSrc, TakesPcmAndFloatByTheirEffectiveTag) {
    Adapter adapter;
    const struct {
        Format in;
        bool accepted;
    } cases[] = {
        {TestWaveFormat(ks::format_tag::ieeeFloat, 2, 32), true},
        {TestExtensibleFormat(ks::format_tag::pcm, 8, 24, 24), true},
        {TestExtensibleFormat(ks::format_tag::ieeeFloat, 2, 32, 32), true},
        {TestExtensibleFormat(2, 2, 16, 16), false},
        {TestWaveFormat(ks::format_tag::extensible, 2, 16), false}, // sub-format left empty
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in.Format.wFormatTag);
        EXPECT_EQ(adapter.src->SetFormat(c.in, TestPcmFormat(2, 16)), c.accepted);
    }
}

// The split stage keeps the formats as given and hands 32-bit float
// descriptions of them to its channel conversion.
TEST(DspInterleaveSrc, ChannelConversionGetsFloatDescriptions) {
    Adapter adapter;
    Format pcm = TestPcmFormat(6, 16, 44100);
    Format extensible = TestExtensibleFormat(ks::format_tag::pcm, 2, 32, 24);
    extensible.dwChannelMask = 3;
    ASSERT_TRUE(adapter.src->SetFormat(pcm, extensible));
    const CDspSplitStage& split = *adapter.src->GetSplitStage();
    EXPECT_EQ(split.GetInputFormat().Format.wBitsPerSample, 16);
    EXPECT_EQ(split.GetOutputFormat().wValidBitsPerSample, 24);

    const Format& in = split.GetConversion()->GetInputFormat();
    EXPECT_EQ(in.Format.wFormatTag, ks::format_tag::ieeeFloat);
    EXPECT_EQ(in.Format.nChannels, 6);
    EXPECT_EQ(in.Format.wBitsPerSample, 32);
    EXPECT_EQ(in.Format.nBlockAlign, 24);
    EXPECT_EQ(in.Format.nAvgBytesPerSec, 24u * 44100u);

    const Format& out = split.GetConversion()->GetOutputFormat();
    EXPECT_EQ(out.Format.wFormatTag, ks::format_tag::extensible);
    EXPECT_EQ(out.SubFormat, ks::KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
    EXPECT_EQ(out.wValidBitsPerSample, 32);
    EXPECT_EQ(out.Format.wBitsPerSample, 32);
    EXPECT_EQ(out.Format.nBlockAlign, 8);
    EXPECT_EQ(out.Format.nAvgBytesPerSec, 8u * 48000u);
    EXPECT_EQ(out.dwChannelMask, 3u);

    // A float format is passed on as it stands.
    const Format odd = TestWaveFormat(ks::format_tag::ieeeFloat, 2, 24);
    ASSERT_TRUE(adapter.src->SetFormat(odd, odd));
    EXPECT_EQ(split.GetConversion()->GetInputFormat().Format.wBitsPerSample, 24);
}

TEST(ChannelConversion, RefusesWhatIsNotEightChannelsOfFloat) {
    const Format floats = TestWaveFormat(ks::format_tag::ieeeFloat, 8, 32);
    Format nine = floats;
    nine.Format.nChannels = 9;
    const std::string self = "CChannelConversion::SetFormat ";
    const struct {
        Format in, out;
        std::string message;
    } cases[] = {
        {TestPcmFormat(2, 32), floats, self + "Tag not WAVE_FORMAT_IEEE_FLOAT\n"},
        {floats, TestPcmFormat(2, 32), self + "Output Tag not WAVE_FORMAT_IEEE_FLOAT\n"},
        {nine, floats, self + "InFormat.Format.nChannels > MAX_SOFTWARE_DSP_PROCESS_CHANNELS\n"},
        {floats, nine, self + "InFormat.Format.nChannels > MAX_SOFTWARE_DSP_PROCESS_CHANNELS\n"},
    };
    CChannelConversion conversion;
    ASSERT_TRUE(conversion.SetFormat(floats, floats));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        kernel::clearDebugLog();
        EXPECT_FALSE(conversion.SetFormat(c.in, c.out));
        EXPECT_EQ(kernel::debugLog(), std::vector<std::string>{c.message});
        EXPECT_EQ(conversion.GetInputFormat().Format.nChannels, 8);
        EXPECT_EQ(conversion.GetOutputFormat().Format.nChannels, 8);
    }
    EXPECT_TRUE(conversion.Take());
    EXPECT_FALSE(conversion.Take());
}

TEST(DspInterleaveSrc, SecondCreateIsRefusedAndTakesNothing) {
    Adapter adapter;
    const std::size_t live = kernel::poolLiveBlocks();
    EXPECT_FALSE(adapter.src->Create());
    EXPECT_EQ(kernel::poolLiveBlocks(), live);
    EXPECT_TRUE(adapter.src->IsCreated());
}

// Before Create, and after a Create that failed, there are no stages to set:
// SetFormat is refused and Reset skips what is missing.
TEST(DspInterleaveSrc, WithoutStagesNothingIsSet) {
    CDspInterleaveSrc src;
    EXPECT_TRUE(src.Reset());
    kernel::clearDebugLog();
    EXPECT_FALSE(src.SetFormat(TestPcmFormat(2, 16), TestPcmFormat(2, 16)));
    EXPECT_EQ(kernel::debugLog(),
              std::vector<std::string>{"CDspInterleaveSrc::SetFormat not created\n"});
    EXPECT_EQ(src.GetStage(0), nullptr);
}

TEST(DspInterleaveSrc, EveryRefusedAllocationLeavesNothingAfterDestroy) {
    std::uint64_t requests = 0;
    {
        CDspInterleaveSrc src;
        const std::uint64_t before = kernel::poolRequestCount();
        ASSERT_TRUE(src.Create());
        requests = kernel::poolRequestCount() - before;
        // Split stage and conversion, three rate stages, 4 x 24 channel
        // buffers and the work buffer.
        EXPECT_EQ(requests, 2u + 3u + 4u * 24u + 1u);
        EXPECT_EQ(kernel::poolLiveBlocks(DspStageBufferTag), 4u * 24u);
        src.Destroy();
        EXPECT_EQ(kernel::poolLiveBlocks(), 0u);
    }
    for (std::uint64_t failing = 1; failing <= requests; ++failing) {
        SCOPED_TRACE(failing);
        CDspInterleaveSrc src;
        kernel::failPoolRequest(failing);
        EXPECT_FALSE(src.Create());
        kernel::clearPoolFaults();
        EXPECT_FALSE(src.IsCreated());
        EXPECT_FALSE(src.SetFormat(TestPcmFormat(2, 16), TestPcmFormat(2, 16, 44100)));
        EXPECT_TRUE(src.Reset());
        src.Destroy();
        EXPECT_EQ(kernel::poolLiveBlocks(), 0u);
    }
}

// The wave stream resets and sets the adapter under its spin lock.
TEST(DspInterleaveSrc, ResetAndSetFormatAllocateNothingAtDispatchLevel) {
    Adapter adapter;
    kernel::SpinLock lock;
    const std::uint64_t before = kernel::poolRequestCount();
    {
        kernel::SpinLockGuard guard(lock);
        EXPECT_TRUE(adapter.src->Reset());
        EXPECT_TRUE(
            adapter.src->SetFormat(TestPcmFormat(8, 24, 192000), TestPcmFormat(2, 16, 44100)));
    }
    EXPECT_EQ(kernel::poolRequestCount(), before);
}

} // namespace
