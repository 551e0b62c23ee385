#include "driver/devmodel/chips/n3w8/n3w8_dsp_nodes.h"

#include "driver/engine/audio_node.h"
#include "sigproc/sigproc.h"

#include <algorithm>
#include <utility>

namespace {

bool IsPcm(const ks::WaveFormatExtensible* format) {
    return ks::effectiveFormatTag(*format) == ks::format_tag::pcm;
}

std::uint32_t PlaneCount(const ks::WaveFormatExtensible* format) {
    return std::min<std::uint32_t>(format->Format.nChannels, MaxDspChannels);
}

} // namespace

kernel::NTSTATUS CN3W8PlainNode::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                             void** object) {
    return AnswerAfterBase(CUnknown::NonDelegatingQueryInterface(id, object),
                           static_cast<IDspNode*>(this), id, IID_IDspNode, object);
}

kernel::NTSTATUS CN3W8ChannelSwapNode::Process(const ks::WaveFormatExtensible* format, void* data,
                                               std::uint32_t frames) {
    if (format == nullptr || data == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (!IsPcm(format) || format->Format.nChannels != 8) return kernel::STATUS_SUCCESS;
    // The samples move, not the plane pointers: the engine may hold its own
    // copy of where each plane lives.
    float* const* planes = static_cast<float* const*>(data);
    for (const auto& [a, b] : {std::pair{4, 6}, std::pair{5, 7}})
        std::swap_ranges(planes[a], planes[a] + frames, planes[b]);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CN3W8AttenuateNode::SetMode(std::uint32_t mode) {
    if (mode > Silence) return kernel::STATUS_INVALID_PARAMETER;
    m_Mode.store(mode, std::memory_order_relaxed);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CN3W8AttenuateNode::Process(const ks::WaveFormatExtensible* format, void* data,
                                             std::uint32_t frames) {
    if (format == nullptr || data == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const std::uint32_t mode = GetMode();
    if (!IsPcm(format) || mode == Pass || frames == 0) return kernel::STATUS_SUCCESS;
    float* const* planes = static_cast<float* const*>(data);
    constexpr float QuarterGain = 0.25f;
    for (std::uint32_t channel = 0; channel < PlaneCount(format); ++channel) {
        if (mode == Quarter)
            sigMulConstInPlace_32f(QuarterGain, planes[channel], static_cast<int>(frames));
        else
            sigZero_32f(planes[channel], static_cast<int>(frames));
    }
    return kernel::STATUS_SUCCESS;
}
