#include "driver/devmodel/switch_controls.h"

#include "driver/common/settings_store.h"
#include "driver/devmodel/control_settings.h"
#include "driver/devmodel/unit_face.h"
#include "driver/engine/control_change.h"

kernel::NTSTATUS CUacSwitchControl::Bind(kernel::IUnknown* unit, std::uint8_t selector,
                                         io::DeviceObject* settings) {
    kernel::NTSTATUS status = FindUnitFace(unit, IID_IFeatureUnitSwitch, &m_pAccess);
    if (!kernel::succeeded(status)) return status;
    std::uint32_t channels = 0;
    status = m_pAccess->GetChannelCount(selector, &channels);
    if (!kernel::succeeded(status)) return status;
    m_Selector = selector;
    status = AllocateOnOff(0, channels);
    if (!kernel::succeeded(status)) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    m_pSettings = settings;
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        std::uint8_t value = 0;
        if (kernel::succeeded(m_pAccess->GetByte(selector, channel, &value)))
            Values()[channel] = value;
        LoadPersisted(channel);
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacSwitchControl::BindHostValue(io::DeviceObject* settings) {
    const kernel::NTSTATUS status = AllocateOnOff(0, 1);
    if (!kernel::succeeded(status)) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    m_pSettings = settings;
    LoadPersisted(0);
    return kernel::STATUS_SUCCESS;
}

void CUacSwitchControl::LoadPersisted(std::uint32_t channel) {
    AccessChannelSetting(m_pSettings, SETTING_READ, &Values()[channel], 1, GetId(),
                         GetChannelMode(), channel);
}

kernel::NTSTATUS CUacSwitchControl::Persist(std::uint32_t channel) {
    return AccessChannelSetting(m_pSettings, SETTING_WRITE, &Values()[channel], 1, GetId(),
                                GetChannelMode(), channel);
}

kernel::NTSTATUS CUacSwitchControl::SetOnOff(std::uint32_t channel, std::uint8_t value) {
    if (channel >= m_ulChannels) return kernel::STATUS_INVALID_PARAMETER;
    if (m_Write != SwitchWrite::cacheOnly) {
        const kernel::NTSTATUS written = m_pAccess != nullptr
                                             ? m_pAccess->SetByte(m_Selector, channel, value)
                                             : kernel::STATUS_UNSUCCESSFUL;
        if (m_Write == SwitchWrite::cacheOnSuccess && !kernel::succeeded(written))
            return kernel::STATUS_SUCCESS;
    }
    Values()[channel] = value;
    Persist(channel);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacSwitchControl::ApplyToDevice() {
    if (m_ulChannels == 0) return kernel::STATUS_INVALID_PARAMETER;
    for (std::uint32_t channel = 0; channel < m_ulChannels; ++channel) {
        const kernel::NTSTATUS status = SetOnOff(channel, Values()[channel]);
        if (!kernel::succeeded(status)) return status;
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacSwitchControl::ReadFromDevice() {
    if (m_pAccess == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    for (std::uint32_t channel = 0; channel < m_ulChannels; ++channel) {
        std::uint8_t value = 0;
        const kernel::NTSTATUS status = m_pAccess->GetByte(m_Selector, channel, &value);
        if (!kernel::succeeded(status)) return status;
        Values()[channel] = value;
        Persist(channel);
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacSwitchControl::SetChannelMode(std::uint32_t mode,
                                                   kernel::CallbackObject* callback) {
    COnOffItem::SetChannelMode(mode, callback);
    const std::uint32_t exposed = ExposedChannelCount(mode, m_ulChannels);
    for (std::uint32_t channel = 0; channel < exposed; ++channel) {
        LoadPersisted(channel);
        SetOnOff(channel, Values()[channel]);
    }
    if (callback != nullptr) NotifyControlChange(*callback, GetId());
    return kernel::STATUS_SUCCESS;
}
