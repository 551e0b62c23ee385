// Controls that a chip model's stream engine applies itself. The software
// volume is a volume control whose device write is followed by a linear gain
// per channel that its DSP node multiplies integer-PCM planes by, while the
// stream it is bound to is current. The linked mute is a mute control bound
// to a stream the same way.
#pragma once

#include "driver/common/dsp_node.h"
#include "driver/devmodel/level_controls.h"
#include "driver/devmodel/stream_bound.h"
#include "driver/devmodel/switch_controls.h"

#include <cstdint>

class CUacLinkedMuteControl : public CForwardingUnknown<CUacMuteControl, CStreamBoundValues> {
public:
    using CForwardingUnknown::CForwardingUnknown;
    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;
};

class CUacSoftVolumeControl
    : public CForwardingUnknown<CUacVolumeControl, CStatelessDspNode, CStreamBoundValues> {
public:
    using CForwardingUnknown::CForwardingUnknown;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // The volume's bind, then the gains of the values it found.
    kernel::NTSTATUS Bind(kernel::IUnknown* unit, std::uint8_t selector,
                          io::DeviceObject* settings);
    kernel::NTSTATUS SetLevel(std::uint32_t channel, std::int32_t value) override;
    // Each channel read back, applied and cached; stops at the first failure.
    kernel::NTSTATUS ReadFromDevice() override;
    // As every level control, then every channel once more whatever the mode.
    kernel::NTSTATUS SetChannelMode(std::uint32_t mode, kernel::CallbackObject* callback) override;

    // The linear gain of a channel; 0 beyond the channels.
    float Gain(std::uint32_t channel) const;

    // Always success; planes are float, one per channel.
    kernel::NTSTATUS Process(const ks::WaveFormatExtensible* format, void* data,
                             std::uint32_t frames) override;

private:
    // The gain of the channel's value, under a saved floating-point state.
    kernel::NTSTATUS UpdateGain(std::uint32_t channel, std::int32_t value);

    CPoolBuffer m_Gains;
};
