#include "driver/effects/dsp_interleave_src.h"

#include "driver/common/dsp_node.h"
#include "platform/kernel/debug_print.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace {

constexpr const char* Self = "CDspInterleaveSrc::SetFormat";

constexpr std::array<std::uint32_t, 6> Rates = {44100, 48000, 88200, 96000, 176400, 192000};

enum class RateStage : std::uint8_t { None, Fir, Factor2, Factor4 };

struct RateStep {
    RateStage stage = RateStage::None;
    SrcDirection direction = SrcDirection::Down;
};

using RatePlan = std::array<RateStep, 2>;

constexpr RateStep RUp{RateStage::Fir, SrcDirection::Up};
constexpr RateStep RDown{RateStage::Fir, SrcDirection::Down};
constexpr RateStep X2Up{RateStage::Factor2, SrcDirection::Up};
constexpr RateStep X2Down{RateStage::Factor2, SrcDirection::Down};
constexpr RateStep X4Up{RateStage::Factor4, SrcDirection::Up};
constexpr RateStep X4Down{RateStage::Factor4, SrcDirection::Down};
constexpr RatePlan Same{};

// Rows: input rate; columns: output rate, both in the order of Rates.
constexpr RatePlan RatePlans[6][6] = {
    {Same, {RUp}, {X2Up}, {RUp, X2Up}, {X4Up}, {RUp, X4Up}},
    {{RDown}, Same, {RDown, X2Up}, {X2Up}, {RDown, X4Up}, {X4Up}},
    {{X2Down}, {X2Down, RUp}, Same, {RUp}, {X2Up}, {RUp, X2Up}},
    {{X2Down, RDown}, {X2Down}, {RDown}, Same, {RDown, X2Up}, {X2Up}},
    {{X4Down}, {X4Down, RUp}, {X2Down}, {X2Down, RUp}, Same, {RUp}},
    {{X4Down, RDown}, {X4Down}, {X2Down, RDown}, {X2Down}, {RDown}, Same},
};

// Index of a listed rate; Rates.size() for any other.
std::size_t RateIndex(std::uint32_t rate) {
    return static_cast<std::size_t>(std::find(Rates.begin(), Rates.end(), rate) - Rates.begin());
}

bool IsListedRate(std::uint32_t rate) { return RateIndex(rate) < Rates.size(); }

bool IsPcmOrFloat(const ks::WaveFormatExtensible& format) {
    const std::uint16_t tag = ks::effectiveFormatTag(format);
    return tag == ks::format_tag::pcm || tag == ks::format_tag::ieeeFloat;
}

bool IsListedDepth(std::uint16_t bits) { return bits == 16 || bits == 24 || bits == 32; }

} // namespace

bool CDspInterleaveSrc::Create() {
    if (m_bCreated) return false;
    if (!CreateSplit() || !CreateStage(m_pSrc2x) || !CreateStage(m_pSrc4x) ||
        !CreateStage(m_pSrcFir))
        return false;
    m_WorkBuffer = CPoolBuffer(DspStagePool, WorkBufferFloats * sizeof(float), DspStageTag);
    if (!m_WorkBuffer.IsValid()) return false;
    m_bCreated = true;
    return true;
}

bool CDspInterleaveSrc::CreateSplit() {
    m_pSplit.reset(new (DspStagePool, DspStageTag) CDspSplitStage());
    if (m_pSplit == nullptr) return false;
    std::unique_ptr<CChannelConversion> conversion(new (DspStagePool, DspStageTag)
                                                       CChannelConversion());
    return m_pSplit->TakeConversion(conversion) && m_pSplit->AllocateBuffers();
}

template <class Stage> bool CDspInterleaveSrc::CreateStage(std::unique_ptr<Stage>& stage) {
    stage.reset(new (DspStagePool, DspStageTag) Stage());
    return stage != nullptr && stage->AllocateBuffers();
}

void CDspInterleaveSrc::Destroy() {
    std::fill(std::begin(m_StageList), std::end(m_StageList), nullptr);
    m_WorkBuffer = CPoolBuffer();
    m_pSplit.reset();
    m_pSrcFir.reset();
    m_pSrc4x.reset();
    m_pSrc2x.reset();
    m_bCreated = false;
}

bool CDspInterleaveSrc::Reset() {
    CDspSrcStage* const stages[] = {m_pSrc2x.get(), m_pSrc4x.get(), m_pSrcFir.get(),
                                    m_pSplit.get()};
    for (CDspSrcStage* stage : stages)
        if (stage != nullptr) stage->Reset();
    return true;
}

bool CDspInterleaveSrc::SetFormat(ks::WaveFormatExtensible input, ks::WaveFormatExtensible output) {
    // Without its stages the adapter has nothing to set; the owner's Init
    // fails in that case, so only a misuse gets here.
    if (!m_bCreated) {
        kernel::debugPrint("%s not created\n", Self);
        return false;
    }
    if (!CheckFormats(input, output)) return false;
    m_InFormat = input;
    m_OutFormat = output;
    if (!m_pSplit->SetFormat(input, output)) {
        kernel::debugPrint("%s m_pSplit->SetFormat False\n", Self);
        return false;
    }
    Reset();
    std::fill(std::begin(m_StageList), std::end(m_StageList), nullptr);
    m_StageList[0] = m_pSplit.get();
    ListRateStages(input.Format.nSamplesPerSec, output.Format.nSamplesPerSec);
    return true;
}

bool CDspInterleaveSrc::CheckFormats(const ks::WaveFormatExtensible& input,
                                     const ks::WaveFormatExtensible& output) const {
    const auto refuse = [](const char* message) {
        kernel::debugPrint(message, Self);
        return false;
    };
    if (!IsPcmOrFloat(input)) return refuse("%s Tag not PCM\n");
    if (input.Format.nChannels > MaxDspChannels)
        return refuse("%s InFormat.Format.nChannels > MAX_SOFTWARE_DSP_PROCESS_CHANNELS\n");
    if (!IsListedRate(input.Format.nSamplesPerSec))
        return refuse("%s InFormat.Format.nSamplesPerSec not in List\n");
    if (!IsListedDepth(input.Format.wBitsPerSample))
        return refuse("%s InFormat.Format.wBitsPerSample not in List\n");
    if (!IsPcmOrFloat(output)) return refuse("%s Output Tag not PCM\n");
    if (output.Format.nChannels > MaxDspChannels)
        return refuse("%s Output OutFormat.Format.nChannels > MAX_SOFTWARE_DSP_PROCESS_CHANNELS\n");
    if (!IsListedRate(output.Format.nSamplesPerSec))
        return refuse("%s OutFormat.Format.nSamplesPerSec not in List\n");
    // The one refusal that was never given a message.
    return IsListedDepth(output.Format.wBitsPerSample);
}

void CDspInterleaveSrc::ListRateStages(std::uint32_t inputRate, std::uint32_t outputRate) {
    std::uint32_t next = 1;
    for (const RateStep& step : RatePlans[RateIndex(inputRate)][RateIndex(outputRate)]) {
        CDspSrcStage* stage = nullptr;
        switch (step.stage) {
        case RateStage::None:
            continue;
        case RateStage::Fir:
            stage = m_pSrcFir.get();
            break;
        case RateStage::Factor2:
            stage = m_pSrc2x.get();
            break;
        case RateStage::Factor4:
            stage = m_pSrc4x.get();
            break;
        }
        stage->SetDirection(step.direction);
        stage->Reset();
        m_StageList[next++] = stage;
    }
}
