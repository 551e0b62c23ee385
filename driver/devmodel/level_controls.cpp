#include "driver/devmodel/level_controls.h"

#include "driver/common/settings_store.h"
#include "driver/devmodel/control_settings.h"
#include "driver/devmodel/unit_face.h"
#include "driver/engine/control_change.h"

kernel::NTSTATUS CUacLevelControl::Bind(kernel::IUnknown* unit, std::uint8_t selector,
                                        io::DeviceObject* settings) {
    kernel::NTSTATUS status = FindUnitFace(unit, IID_IFeatureUnitLevel, &m_pAccess);
    if (!kernel::succeeded(status)) return status;
    std::uint32_t channels = 0;
    status = m_pAccess->GetChannelCount(selector, &channels);
    if (!kernel::succeeded(status)) return status;
    status = m_pAccess->GetRange(selector, &m_lMaximum, &m_lMinimum, &m_lResolution);
    if (!kernel::succeeded(status)) return status;
    m_Selector = selector;
    status = AllocateLevel(0, channels, m_lMaximum, m_lMinimum, m_lResolution);
    if (!kernel::succeeded(status)) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    m_pSettings = settings;
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        std::int32_t value = 0;
        if (kernel::succeeded(m_pAccess->GetValue(selector, channel, &value)))
            Values()[channel] = value;
        LoadPersisted(channel);
    }
    return kernel::STATUS_SUCCESS;
}

void CUacLevelControl::LoadPersisted(std::uint32_t channel) {
    AccessChannelSetting(m_pSettings, SETTING_READ, &Values()[channel], sizeof(std::int32_t),
                         GetId(), GetChannelMode(), channel);
}

kernel::NTSTATUS CUacLevelControl::Persist(std::uint32_t channel) {
    return AccessChannelSetting(m_pSettings, SETTING_WRITE, &Values()[channel],
                                sizeof(std::int32_t), GetId(), GetChannelMode(), channel);
}

kernel::NTSTATUS CUacLevelControl::GetLevel(std::uint32_t channel, std::int32_t* value) {
    if (m_Kind == LevelKind::gainPad && channel == AllChannels) channel = 0;
    if (value == nullptr || channel >= m_ulChannels) return kernel::STATUS_INVALID_PARAMETER;
    *value = Values()[channel];
    return kernel::STATUS_SUCCESS;
}

std::int32_t CUacLevelControl::Clamp(std::int32_t value) const {
    if (value > m_lMaximum) return m_lMaximum;
    if (value < m_lMinimum) return m_lMinimum;
    return value;
}

std::int32_t CUacLevelControl::DeviceValue(std::int32_t wanted) const {
    if (wanted == MinusInfinity) return m_Kind == LevelKind::volume ? MinusInfinity : m_lMinimum;
    const std::int32_t clamped = Clamp(wanted);
    if (m_lResolution == 0) return clamped;
    // In 64 bits: the quotient of the most negative value by -1 does not fit.
    const std::int64_t steps = std::int64_t{clamped} / m_lResolution;
    return static_cast<std::int32_t>(steps * m_lResolution);
}

kernel::NTSTATUS CUacLevelControl::SetChannel(std::uint32_t channel, std::int32_t value) {
    const kernel::NTSTATUS status =
        m_pAccess != nullptr ? m_pAccess->SetValue(m_Selector, channel, DeviceValue(value))
                             : kernel::STATUS_UNSUCCESSFUL;
    if (!kernel::succeeded(status)) return status;
    Values()[channel] = value == MinusInfinity ? MinusInfinity : Clamp(value);
    Persist(channel);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacLevelControl::SetLevel(std::uint32_t channel, std::int32_t value) {
    if (m_Kind == LevelKind::gainPad && channel == AllChannels) {
        for (std::uint32_t each = 0; each < m_ulChannels; ++each)
            if (!kernel::succeeded(SetChannel(each, value))) break;
        return kernel::STATUS_SUCCESS;
    }
    if (channel >= m_ulChannels) return kernel::STATUS_INVALID_PARAMETER;
    SetChannel(channel, value);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacLevelControl::ApplyToDevice() {
    if (m_ulChannels == 0) return kernel::STATUS_INVALID_PARAMETER;
    for (std::uint32_t channel = 0; channel < m_ulChannels; ++channel) {
        const kernel::NTSTATUS status = SetLevel(channel, Values()[channel]);
        if (!kernel::succeeded(status)) return status;
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacLevelControl::ReadFromDevice() {
    if (m_pAccess == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    if (m_Kind == LevelKind::volume) return ReadVolume();
    for (std::uint32_t channel = 0; channel < m_ulChannels; ++channel) {
        std::int32_t value = 0;
        const kernel::NTSTATUS status = m_pAccess->GetValue(m_Selector, channel, &value);
        if (!kernel::succeeded(status)) return status;
        Values()[channel] = value;
        Persist(channel);
    }
    return kernel::STATUS_SUCCESS;
}

// A channel whose device value is still what its cached value was sent as
// has not changed; every channel is compared, and the re-read fails only
// when none changed, so a change on a later channel is never lost.
kernel::NTSTATUS CUacLevelControl::ReadVolume() {
    bool changed = false;
    for (std::uint32_t channel = 0; channel < m_ulChannels; ++channel) {
        std::int32_t value = 0;
        const kernel::NTSTATUS status = m_pAccess->GetValue(m_Selector, channel, &value);
        if (!kernel::succeeded(status)) return status;
        if (value == DeviceValue(Values()[channel])) continue;
        Values()[channel] = value;
        Persist(channel);
        changed = true;
    }
    return changed ? kernel::STATUS_SUCCESS : kernel::STATUS_UNSUCCESSFUL;
}

kernel::NTSTATUS CUacLevelControl::SetChannelMode(std::uint32_t mode,
                                                  kernel::CallbackObject* callback) {
    CLevelItem::SetChannelMode(mode, callback);
    ReloadChannels(ExposedChannelCount(mode, m_ulChannels), callback);
    return kernel::STATUS_SUCCESS;
}

void CUacLevelControl::ReloadChannels(std::uint32_t channels, kernel::CallbackObject* callback) {
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        LoadPersisted(channel);
        SetLevel(channel, Values()[channel]);
    }
    if (callback != nullptr) NotifyControlChange(*callback, GetId());
}
