#include "driver/devmodel/soft_volume_control.h"

#include "platform/kernel/debug_print.h"
#include "platform/kernel/floating_state.h"
#include "sigproc/sigproc.h"

#include <algorithm>
#include <cmath>

kernel::NTSTATUS CUacLinkedMuteControl::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                    void** object) {
    return AnswerAfterBase(CUacMuteControl::NonDelegatingQueryInterface(id, object),
                           static_cast<IStreamBinding*>(this), id, IID_IStreamBinding, object);
}

kernel::NTSTATUS CUacSoftVolumeControl::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                    void** object) {
    const kernel::NTSTATUS status =
        AnswerAfterBase(CUacVolumeControl::NonDelegatingQueryInterface(id, object),
                        static_cast<IDspNode*>(this), id, IID_IDspNode, object);
    return AnswerAfterBase(status, static_cast<IStreamBinding*>(this), id, IID_IStreamBinding,
                           object);
}

kernel::NTSTATUS CUacSoftVolumeControl::Bind(kernel::IUnknown* unit, std::uint8_t selector,
                                             io::DeviceObject* settings) {
    kernel::NTSTATUS status = CUacVolumeControl::Bind(unit, selector, settings);
    if (!kernel::succeeded(status)) return status;
    m_Gains = CPoolBuffer(kernel::PoolType::NonPagedNx,
                          (std::size_t{m_ulChannels} + 1) * sizeof(float), LevelValueTag);
    if (!m_Gains.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    for (std::uint32_t channel = 0; channel < m_ulChannels && kernel::succeeded(status); ++channel)
        status = UpdateGain(channel, Values()[channel]);
    if (!kernel::succeeded(status)) m_Gains = CPoolBuffer();
    return status;
}

kernel::NTSTATUS CUacSoftVolumeControl::UpdateGain(std::uint32_t channel, std::int32_t value) {
    if (!m_Gains.IsValid() || channel >= m_ulChannels) return kernel::STATUS_INVALID_PARAMETER;
    kernel::FloatingSave save;
    const kernel::NTSTATUS status = kernel::saveFloatingPointState(save);
    if (!kernel::succeeded(status)) {
        kernel::debugPrint("Save FPU error\n");
        return status;
    }
    const float decibels = static_cast<float>(value) / 65536.0f;
    m_Gains.Get<float>()[channel] =
        value == MinusInfinity ? 0.0f : std::pow(10.0f, decibels / 20.0f);
    kernel::restoreFloatingPointState(save);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacSoftVolumeControl::SetLevel(std::uint32_t channel, std::int32_t value) {
    const kernel::NTSTATUS status = CUacVolumeControl::SetLevel(channel, value);
    if (!kernel::succeeded(status)) return status;
    UpdateGain(channel, value == MinusInfinity ? value : Clamp(value));
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacSoftVolumeControl::ReadFromDevice() {
    if (m_pAccess == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    for (std::uint32_t channel = 0; channel < m_ulChannels; ++channel) {
        std::int32_t value = 0;
        const kernel::NTSTATUS status = m_pAccess->GetValue(m_Selector, channel, &value);
        if (!kernel::succeeded(status)) return status;
        SetLevel(channel, value);
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacSoftVolumeControl::SetChannelMode(std::uint32_t mode,
                                                       kernel::CallbackObject* callback) {
    CUacVolumeControl::SetChannelMode(mode, callback);
    ReloadChannels(m_ulChannels, callback);
    return kernel::STATUS_SUCCESS;
}

float CUacSoftVolumeControl::Gain(std::uint32_t channel) const {
    return m_Gains.IsValid() && channel < m_ulChannels ? m_Gains.Get<float>()[channel] : 0.0f;
}

kernel::NTSTATUS CUacSoftVolumeControl::Process(const ks::WaveFormatExtensible* format, void* data,
                                                std::uint32_t frames) {
    if (format == nullptr || data == nullptr || !IsCurrent() || !m_Gains.IsValid())
        return kernel::STATUS_SUCCESS;
    if (ks::effectiveFormatTag(*format) != ks::format_tag::pcm) return kernel::STATUS_SUCCESS;
    float* const* planes = static_cast<float* const*>(data);
    const std::uint32_t channels =
        std::min<std::uint32_t>({format->Format.nChannels, m_ulChannels, MaxDspChannels});
    for (std::uint32_t channel = 0; channel < channels; ++channel)
        if (planes[channel] != nullptr)
            sigMulConstInPlace_32f(m_Gains.Get<float>()[channel], planes[channel],
                                   static_cast<int>(frames));
    return kernel::STATUS_SUCCESS;
}
