#include "driver/devmodel/effect_control.h"

#include "driver/common/settings_store.h"
#include "driver/devmodel/control_settings.h"
#include "driver/devmodel/unit_face.h"

kernel::NTSTATUS CUacEffectControl::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                void** object) {
    return AnswerAfterBase(CEffectRecordItem::NonDelegatingQueryInterface(id, object),
                           static_cast<IDspNode*>(this), id, IID_IDspNode, object);
}

kernel::NTSTATUS CUacEffectControl::InitEffectControl(kernel::IUnknown* entity,
                                                      std::uint8_t selector,
                                                      io::DeviceObject* settings) {
    kernel::NTSTATUS status = FindUnitFace(entity, IID_IFeatureUnitSwitch, &m_pAccess);
    if (!kernel::succeeded(status)) return status;
    m_Selector = selector;
    m_lPending.store(0);
    m_Switch.TakeChanged();
    m_pSettings = settings;
    std::uint8_t value = 0;
    m_pAccess->GetByte(selector, 0, &value);
    AccessUnitSetting(settings, SETTING_READ, &value, 1, GetId());
    m_pAccess->SetByte(selector, 0, value);
    status = SetUpRecord(m_Identity, m_ulValueCount, 0);
    if (!kernel::succeeded(status)) return status;
    // The value in force starts off: an effect found on must be switched on.
    if (value != 0)
        AnnounceValue(value);
    else
        m_bValue.store(value);
    return kernel::STATUS_SUCCESS;
}

void CUacEffectControl::AnnounceValue(std::uint8_t value) {
    m_bValue.store(value);
    std::int32_t expected = 0;
    m_lPending.compare_exchange_strong(expected, 1);
    m_Switch.RaiseChanged();
}

kernel::NTSTATUS CUacEffectControl::PersistValue() {
    std::uint8_t value = m_bValue.load();
    return AccessUnitSetting(m_pSettings, SETTING_WRITE, &value, 1, GetId());
}

kernel::NTSTATUS CUacEffectControl::SetEnable(std::uint8_t enable) {
    if (m_pAccess == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    CMutexLockScope hold(m_Lock);
    const kernel::NTSTATUS status = m_pAccess->SetByte(m_Selector, 0, enable);
    AnnounceValue(kernel::succeeded(status) ? enable : m_bValue.load());
    if (kernel::succeeded(status)) PersistValue();
    return status;
}

kernel::NTSTATUS CUacEffectControl::GetEnable(std::uint8_t* enable) {
    if (enable == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    CMutexLockScope hold(m_Lock);
    *enable = m_bValue.load();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacEffectControl::ReadFromDevice() {
    if (m_pAccess == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    CMutexLockScope hold(m_Lock);
    std::uint8_t value = 0;
    const kernel::NTSTATUS status = m_pAccess->GetByte(m_Selector, 0, &value);
    if (!kernel::succeeded(status)) return status;
    AnnounceValue(value);
    PersistValue();
    return kernel::STATUS_SUCCESS;
}

void CUacEffectControl::ApplyPendingValue() {
    CEffectLockScope hold(m_Switch.Lock());
    std::int32_t expected = 1;
    if (m_lPending.compare_exchange_strong(expected, 0)) m_Switch.ExchangeActive(m_bValue.load());
}

kernel::NTSTATUS CUacEffectControl::SetFormat(const ks::WaveFormatExtensible* format) {
    if (format == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    m_Format = *format;
    return kernel::STATUS_SUCCESS;
}
