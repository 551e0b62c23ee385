#include "driver/devmodel/chips/n3w8/n3w8_control_nodes.h"

#include "driver/engine/soft_mute_node.h"
#include "platform/kernel/debug_print.h"
#include "platform/kernel/floating_state.h"
#include "sigproc/sigproc.h"

#include <algorithm>

namespace {

// 16.16 decibels to the exponent of ten: 65536 x 20.
constexpr float LevelPerDecade = 1310720.0f;

constexpr std::uint32_t LedRegister = 1;
constexpr std::uint16_t LedBits = 0x30;
constexpr std::uint16_t LedOn = 0x10;

bool IsPcm(const ks::WaveFormatExtensible& format) {
    return ks::effectiveFormatTag(format) == ks::format_tag::pcm;
}

// A control that acts on the stream answers as a DSP node and as a follower
// of the stream's selection.
template <class Node>
kernel::NTSTATUS AnswerStreamFaces(Node* node, kernel::NTSTATUS base, const kernel::Guid& id,
                                   void** object) {
    const kernel::NTSTATUS status =
        AnswerAfterBase(base, static_cast<IDspNode*>(node), id, IID_IDspNode, object);
    return AnswerAfterBase(status, static_cast<IStreamBinding*>(node), id, IID_IStreamBinding,
                           object);
}

} // namespace

kernel::NTSTATUS CN3W8MuteNode::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerStreamFaces(this, CUacMuteControl::NonDelegatingQueryInterface(id, object), id,
                             object);
}

std::uint32_t CN3W8MuteNode::MutedPlanes() const {
    if (!m_Values.IsValid() || m_ulChannels == 0) return 0;
    const volatile std::uint8_t* values = m_Values.Get<volatile std::uint8_t>();
    if (m_ulChannels == 1) return values[0] != 0 ? AllPlanes : 0;
    std::uint32_t planes = 0;
    for (std::uint32_t channel = 0; channel < std::min(m_ulChannels, MaxDspChannels); ++channel)
        if (values[channel] != 0) planes |= 1u << channel;
    return planes;
}

kernel::NTSTATUS CN3W8MuteNode::Process(const ks::WaveFormatExtensible* format, void* data,
                                        std::uint32_t frames) {
    if (format != nullptr && IsCurrent()) SilenceBlock(*format, data, frames, MutedPlanes());
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CN3W8SoftMuteNode::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                void** object) {
    return AnswerStreamFaces(this, CUacSwitchControl::NonDelegatingQueryInterface(id, object), id,
                             object);
}

kernel::NTSTATUS CN3W8SoftMuteNode::Bind(kernel::IUnknown*, std::uint8_t selector,
                                         io::DeviceObject* settings) {
    m_Selector = selector;
    return BindHostValue(settings);
}

kernel::NTSTATUS CN3W8SoftMuteNode::Process(const ks::WaveFormatExtensible* format, void* data,
                                            std::uint32_t frames) {
    if (format != nullptr && IsCurrent() && FirstValue() != 0) SilenceBlock(*format, data, frames);
    return kernel::STATUS_SUCCESS;
}

CN3W8SoftVolumeNode::CN3W8SoftVolumeNode(kernel::IUnknown* outer, std::uint32_t id)
    : CForwardingUnknown(outer, id) {
    for (std::atomic<float>& gain : m_Gains) gain.store(1.0f, std::memory_order_relaxed);
}

kernel::NTSTATUS CN3W8SoftVolumeNode::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                  void** object) {
    return AnswerStreamFaces(this, CUacVolumeControl::NonDelegatingQueryInterface(id, object), id,
                             object);
}

kernel::NTSTATUS CN3W8SoftVolumeNode::Bind(kernel::IUnknown* unit, std::uint8_t selector,
                                           io::DeviceObject* settings) {
    const kernel::NTSTATUS status = CUacVolumeControl::Bind(unit, selector, settings);
    if (!kernel::succeeded(status)) return status;
    return UpdateGains();
}

kernel::NTSTATUS CN3W8SoftVolumeNode::SetLevel(std::uint32_t channel, std::int32_t value) {
    const kernel::NTSTATUS status = CUacVolumeControl::SetLevel(channel, value);
    if (kernel::succeeded(status)) UpdateGains();
    return status;
}

kernel::NTSTATUS CN3W8SoftVolumeNode::ReadFromDevice() {
    const kernel::NTSTATUS status = CUacVolumeControl::ReadFromDevice();
    UpdateGains();
    return status;
}

// All eight gains in one pass of the signal primitives; a plane the control
// has no channel for stays at 0 dB, and minus infinity comes out as 0.
kernel::NTSTATUS CN3W8SoftVolumeNode::UpdateGains() {
    std::int32_t levels[MaxDspChannels] = {};
    const std::uint32_t channels = std::min(m_ulChannels, MaxDspChannels);
    if (m_Values.IsValid()) std::copy_n(Values(), channels, levels);
    float exponents[MaxDspChannels] = {};
    float tens[MaxDspChannels] = {};
    float gains[MaxDspChannels] = {};
    std::fill(std::begin(tens), std::end(tens), 10.0f);
    kernel::FloatingSave save;
    const kernel::NTSTATUS status = kernel::saveFloatingPointState(save);
    if (!kernel::succeeded(status)) {
        kernel::debugPrint("Save FPU error\n");
        return status;
    }
    constexpr int count = static_cast<int>(MaxDspChannels);
    sigConvert_32s32f(levels, exponents, count);
    sigDivConstInPlace_32f(LevelPerDecade, exponents, count);
    sigPow_32f(tens, exponents, gains, count);
    kernel::restoreFloatingPointState(save);
    for (std::uint32_t plane = 0; plane < MaxDspChannels; ++plane)
        m_Gains[plane].store(plane < channels ? gains[plane] : 1.0f, std::memory_order_relaxed);
    return kernel::STATUS_SUCCESS;
}

float CN3W8SoftVolumeNode::Gain(std::uint32_t plane) const {
    return plane < MaxDspChannels ? m_Gains[plane].load(std::memory_order_relaxed) : 1.0f;
}

kernel::NTSTATUS CN3W8SoftVolumeNode::Process(const ks::WaveFormatExtensible* format, void* data,
                                              std::uint32_t frames) {
    if (format == nullptr || data == nullptr || frames == 0 || !IsPcm(*format) || !IsCurrent())
        return kernel::STATUS_SUCCESS;
    float* const* planes = static_cast<float* const*>(data);
    const std::uint32_t count = std::min<std::uint32_t>(format->Format.nChannels, MaxDspChannels);
    for (std::uint32_t plane = 0; plane < count; ++plane)
        if (planes[plane] != nullptr)
            sigMulConstInPlace_32f(Gain(plane), planes[plane], static_cast<int>(frames));
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CN3W8LedSwitchItem::Bind(IChipRegisters* registers) {
    if (registers == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    m_pRegisters = registers;
    const kernel::NTSTATUS status = AllocateOnOff(0, 1);
    return kernel::succeeded(status) ? status : kernel::STATUS_INSUFFICIENT_RESOURCES;
}

kernel::NTSTATUS CN3W8LedSwitchItem::SetOnOff(std::uint32_t channel, std::uint8_t value) {
    if (channel != 0) return kernel::STATUS_INVALID_PARAMETER;
    if (m_pRegisters == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    const kernel::NTSTATUS status =
        m_pRegisters->WriteRegister(LedRegister, value != 0 ? LedOn : LedBits, LedBits);
    if (!kernel::succeeded(status)) return status;
    return COnOffItem::SetOnOff(0, value);
}
