#include "driver/effects/dsp_src_stage_factor.h"

#include "driver/effects/src_coefficients.h"
#include "sigproc/sigproc.h"

namespace {

std::uint32_t MultiRateStateBytes(int tapsLen, int up, int down) {
    int bytes = 0;
    if (sigFirMrGetStateSize_32f(tapsLen, up, down, &bytes) != sigOk || bytes < 0) return 0;
    return static_cast<std::uint32_t>(bytes);
}

} // namespace

CDspSrcStage2x::CDspSrcStage2x() : CDspSrcStageFactor(2, Src2xCoefficients().data(), Src2xTaps) {}

CDspSrcStage4x::CDspSrcStage4x() : CDspSrcStageFactor(4, Src4xCoefficients().data(), Src4xTaps) {}

std::uint32_t CDspSrcStageFactor::SizeA() const {
    return MultiRateStateBytes(m_TapsLen, m_Factor, 1);
}

std::uint32_t CDspSrcStageFactor::SizeB() const {
    return MultiRateStateBytes(m_TapsLen, 1, m_Factor);
}

void CDspSrcStageFactor::Reset() {
    ResetPositions();
    MarkReady(false);
    if (!m_bAllocated) return;
    const bool up = m_Direction == SrcDirection::Up;
    for (std::uint32_t c = 0; c < Channels; ++c) {
        m_FilterStates[c] = nullptr;
        if (sigFirMrInit_32f(&m_FilterStates[c], m_pTaps, m_TapsLen, up ? m_Factor : 1, 0,
                             up ? 1 : m_Factor, 0, nullptr, StateBuffer(c)) != sigOk)
            return;
    }
    MarkReady(true);
}

bool CDspSrcStageFactor::Process(std::uint32_t channel, const float* input, std::uint32_t* count) {
    if (!CanProcess(channel, input, count)) return Refuse(count);
    *count = m_Direction == SrcDirection::Up ? ProcessUp(channel, input, *count)
                                             : ProcessDown(channel, input, *count);
    return true;
}

std::uint32_t CDspSrcStageFactor::ProcessUp(std::uint32_t channel, const float* input,
                                            std::uint32_t count) {
    const auto k = static_cast<std::uint32_t>(m_Factor);
    std::uint32_t used = 0;
    while (used < count) {
        const std::uint32_t space = OutputSpace(channel);
        if (space < k) break;
        const std::uint32_t remaining = count - used;
        const std::uint32_t n = std::uint64_t{k} * remaining > space ? space / k : remaining;
        float* out = OutputAt(channel);
        sigFirProcess_32f(input + used, out, static_cast<int>(n), m_FilterStates[channel]);
        sigMulConstInPlace_32f(static_cast<float>(k), out, static_cast<int>(k * n));
        m_OutputPositions[channel] += k * n;
        used += n;
    }
    return used;
}

std::uint32_t CDspSrcStageFactor::ProcessDown(std::uint32_t channel, const float* input,
                                              std::uint32_t count) {
    const auto k = static_cast<std::uint32_t>(m_Factor);
    std::uint32_t used = 0;
    while (count - used >= k) {
        const std::uint32_t space = OutputSpace(channel);
        if (space == 0) break;
        const std::uint32_t groups = (count - used) / k;
        const std::uint32_t n = groups < space ? groups : space;
        sigFirProcess_32f(input + used, OutputAt(channel), static_cast<int>(n),
                          m_FilterStates[channel]);
        m_OutputPositions[channel] += n;
        used += k * n;
    }
    return used;
}
