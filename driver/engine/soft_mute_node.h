// A mute item that silences the stream in software: one value for the whole
// stream, and a DSP node that the stream's chain calls once per block.
#pragma once

#include "driver/common/dsp_node.h"
#include "driver/engine/on_off_item.h"

#include <cstdint>

inline constexpr kernel::PoolTag SoftNodeTag = kernel::poolTag("DSPs");

// Every plane of a block.
inline constexpr std::uint32_t AllPlanes = 0xFFFFFFFF;

// Silences a block as a stream's chain hands it over: the planes of an
// integer-PCM block whose bits are set in the mask (the format's channels,
// at most eight), or, for any other format, the whole interleaved block of
// frames x nBlockAlign bytes once any bit is set.
void SilenceBlock(const ks::WaveFormatExtensible& format, void* data, std::uint32_t frames,
                  std::uint32_t planes = AllPlanes);

class CSoftMuteNode : public CForwardingUnknown<COnOffItem, CStatelessDspNode> {
public:
    CSoftMuteNode(kernel::IUnknown* outer, std::uint32_t id)
        : CForwardingUnknown(outer, id, item_type::mute, SoftNodeTag) {}

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // One channel only; any other count is refused as resources the node cannot hold.
    kernel::NTSTATUS AllocateOnOff(std::uint32_t sourceId, std::uint32_t channels) override;

    // While muted: every plane of an integer-PCM block, or the interleaved
    // bytes of any other format, become silence.
    kernel::NTSTATUS Process(const ks::WaveFormatExtensible* format, void* data,
                             std::uint32_t frames) override;
};
