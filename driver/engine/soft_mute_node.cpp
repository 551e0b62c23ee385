#include "driver/engine/soft_mute_node.h"

#include "sigproc/sigproc.h"

#include <algorithm>
#include <cstring>

kernel::NTSTATUS CSoftMuteNode::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(COnOffItem::NonDelegatingQueryInterface(id, object),
                           static_cast<IDspNode*>(this), id, IID_IDspNode, object);
}

kernel::NTSTATUS CSoftMuteNode::AllocateOnOff(std::uint32_t sourceId, std::uint32_t channels) {
    if (channels != 1) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    return COnOffItem::AllocateOnOff(sourceId, channels);
}

kernel::NTSTATUS CSoftMuteNode::Process(const ks::WaveFormatExtensible* format, void* data,
                                        std::uint32_t frames) {
    if (format == nullptr || data == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (FirstValue() != 0) SilenceBlock(*format, data, frames);
    return kernel::STATUS_SUCCESS;
}

void SilenceBlock(const ks::WaveFormatExtensible& format, void* data, std::uint32_t frames,
                  std::uint32_t planes) {
    if (data == nullptr || frames == 0 || planes == 0) return;
    if (ks::effectiveFormatTag(format) == ks::format_tag::pcm) {
        float* const* plane = static_cast<float* const*>(data);
        const std::uint32_t channels =
            std::min<std::uint32_t>(format.Format.nChannels, MaxDspChannels);
        for (std::uint32_t channel = 0; channel < channels; ++channel)
            if ((planes >> channel & 1u) != 0 && plane[channel] != nullptr)
                sigZero_32f(plane[channel], static_cast<int>(frames));
    } else {
        std::memset(data, 0, std::size_t{frames} * format.Format.nBlockAlign);
    }
}
