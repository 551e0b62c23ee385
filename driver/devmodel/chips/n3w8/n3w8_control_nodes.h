// The control items of the N3W8 model's feature units that act on the
// stream themselves: they sit in their unit's item list like any control,
// and, being DSP nodes too, join the chain A of every stream engine whose
// path runs through the unit. They act from the moment they exist, but,
// bound to the stream like the other stream controls (stream_bound.h), only
// while their path is the one in use: a record unit's mute behind the
// record selector silences the capture only while its input is selected.
// Also the LED switch, an on/off item that drives the chip's LED bits.
#pragma once

#include "driver/common/dsp_node.h"
#include "driver/devmodel/level_controls.h"
#include "driver/devmodel/stream_bound.h"
#include "driver/devmodel/switch_controls.h"
#include "driver/usbstream/chip_registers.h"

#include <array>
#include <atomic>
#include <cstdint>

// A mute control (the device is told, as every mute control tells it) that
// also silences the stream: the planes of the channels it mutes (a
// one-channel mute: every plane), or a whole block of another format once
// any channel is muted.
class CN3W8MuteNode
    : public CForwardingUnknown<CUacMuteControl, CStatelessDspNode, CStreamBoundValues> {
public:
    using CForwardingUnknown::CForwardingUnknown;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;
    kernel::NTSTATUS Process(const ks::WaveFormatExtensible* format, void* data,
                             std::uint32_t frames) override;

private:
    // Bit i set: plane i is muted.
    std::uint32_t MutedPlanes() const;
};

// The playback unit's mute, whose unit also lights the mute LED.
class CN3W8MuteNodeA : public CN3W8MuteNode {
public:
    using CN3W8MuteNode::CN3W8MuteNode;
};

// The mix unit's mute.
class CN3W8MuteNodeB : public CN3W8MuteNode {
public:
    using CN3W8MuteNode::CN3W8MuteNode;
};

// A mute the device never hears of: one channel, the host's value
// (persisted like any mute), silencing every plane of its stream.
class CN3W8SoftMuteNode
    : public CForwardingUnknown<CUacSwitchOf<item_type::mute, SwitchWrite::cacheOnly>,
                                CStatelessDspNode, CStreamBoundValues> {
public:
    using CForwardingUnknown::CForwardingUnknown;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;
    // The unit and selector it stands for; nothing is asked of the device.
    kernel::NTSTATUS Bind(kernel::IUnknown* unit, std::uint8_t selector,
                          io::DeviceObject* settings);
    kernel::NTSTATUS ReadFromDevice() override { return kernel::STATUS_SUCCESS; }
    kernel::NTSTATUS Process(const ks::WaveFormatExtensible* format, void* data,
                             std::uint32_t frames) override;
};

// A volume control (the device is set through its unit as usual) that also
// multiplies each integer-PCM plane by its channel's linear gain,
// 10^(level / 20 dB). Eight gains, recomputed whenever a value changes;
// planes past the control's channels keep their level (gain 1).
class CN3W8SoftVolumeNode
    : public CForwardingUnknown<CUacVolumeControl, CStatelessDspNode, CStreamBoundValues> {
public:
    CN3W8SoftVolumeNode(kernel::IUnknown* outer, std::uint32_t id);

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // The volume's bind, then the gains; fails when the floating-point
    // state cannot be saved.
    kernel::NTSTATUS Bind(kernel::IUnknown* unit, std::uint8_t selector,
                          io::DeviceObject* settings);
    // Every path that changes a value (a set, a channel-mode reload) comes
    // through here, and the gains follow the values kept.
    kernel::NTSTATUS SetLevel(std::uint32_t channel, std::int32_t value) override;
    kernel::NTSTATUS ReadFromDevice() override;

    float Gain(std::uint32_t plane) const;
    kernel::NTSTATUS Process(const ks::WaveFormatExtensible* format, void* data,
                             std::uint32_t frames) override;

private:
    kernel::NTSTATUS UpdateGains();

    // Written at passive level, read by blocks at dispatch level: one
    // 32-bit store per gain.
    std::array<std::atomic<float>, MaxDspChannels> m_Gains;
};

// The on/off item of the record units on one headset: switching it on sets
// the chip's LED bits (register 1, bits 4-5) to 0x10, off to 0x30. Only
// channel 0 exists; the value changes only when the chip took the write.
class CN3W8LedSwitchItem : public COnOffItem {
public:
    CN3W8LedSwitchItem(kernel::IUnknown* outer, std::uint32_t id)
        : COnOffItem(outer, id, item_type::onOff) {}

    kernel::NTSTATUS Bind(IChipRegisters* registers);
    kernel::NTSTATUS SetOnOff(std::uint32_t channel, std::uint8_t value) override;

private:
    IChipRegisters* m_pRegisters = nullptr; // the model outlives its entities
};
