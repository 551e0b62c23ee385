// The N3W8 model's plain stream nodes in the render engines' chain A: the
// channel swap that puts the chip's back and side pairs where the stream
// has them, and the attenuation the worker steps when the chip reports its
// output path idle or busy.
#pragma once

#include "driver/common/dsp_node.h"
#include "driver/common/object_model.h"

#include <atomic>
#include <cstdint>

inline constexpr kernel::PoolTag N3W8Tag = kernel::poolTag("N3W8");

// What both nodes share: no parameters, nothing held between blocks.
class CN3W8PlainNode : public CForwardingUnknown<CUnknown, CStatelessDspNode> {
public:
    using CForwardingUnknown::CForwardingUnknown;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;
};

// Exchanges planes 4 and 6, and 5 and 7, of eight-channel PCM.
class CN3W8ChannelSwapNode : public CN3W8PlainNode {
public:
    using CN3W8PlainNode::CN3W8PlainNode;
    kernel::NTSTATUS Process(const ks::WaveFormatExtensible* format, void* data,
                             std::uint32_t frames) override;
};

// PCM passes (mode 0), drops by 12 dB (mode 1) or is silenced (mode 2).
class CN3W8AttenuateNode : public CN3W8PlainNode {
public:
    enum Mode : std::uint32_t { Pass = 0, Quarter = 1, Silence = 2 };

    CN3W8AttenuateNode(kernel::IUnknown* outer, std::uint32_t mode)
        : CN3W8PlainNode(outer), m_Mode(mode) {}

    // The worker sets the mode while blocks run at dispatch level; one
    // 32-bit store that a block reads once.
    kernel::NTSTATUS SetMode(std::uint32_t mode);
    std::uint32_t GetMode() const { return m_Mode.load(std::memory_order_relaxed); }
    kernel::NTSTATUS Process(const ks::WaveFormatExtensible* format, void* data,
                             std::uint32_t frames) override;

private:
    std::atomic<std::uint32_t> m_Mode;
};
