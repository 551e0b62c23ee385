#include "driver/devmodel/unit_controls.h"

#include "driver/common/settings_store.h"
#include "driver/devmodel/control_settings.h"
#include "driver/devmodel/unit_face.h"

kernel::NTSTATUS CUacSelectorControl::Bind(kernel::IUnknown* selector, io::DeviceObject* settings) {
    kernel::NTSTATUS status = FindUnitFace(selector, IID_ISelectorUnit, &m_pUnit);
    if (!kernel::succeeded(status)) return status;
    std::uint32_t inputs = 0;
    status = m_pUnit->GetInputCount(&inputs);
    if (!kernel::succeeded(status)) return status;
    if (inputs == 0) return kernel::STATUS_INVALID_PARAMETER;
    status = AllocateInputs(inputs);
    if (!kernel::succeeded(status)) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    m_pSettings = settings;
    std::uint32_t current = 0;
    m_pUnit->GetCurrentInput(&current);
    AccessUnitSetting(settings, SETTING_READ, &current, sizeof(current), GetId());
    if (current > inputs) current = inputs;
    if (current == 0) current = 1;
    return CSelectorItem::SetCurrentInput(current);
}

kernel::NTSTATUS CUacSelectorControl::SetCurrentInput(std::uint32_t input) {
    std::uint32_t inputs = 0;
    GetInputCount(&inputs);
    if (input == 0 || input > inputs || m_pUnit == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const kernel::NTSTATUS status = m_pUnit->SetCurrentInput(input);
    if (!kernel::succeeded(status)) return status;
    CSelectorItem::SetCurrentInput(input);
    AccessUnitSetting(m_pSettings, SETTING_WRITE, &input, sizeof(input), GetId());
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacSelectorControl::ApplyToDevice() {
    std::uint32_t current = 0;
    GetCurrentInput(&current);
    return SetCurrentInput(current);
}

kernel::NTSTATUS CUacSelectorControl::ReadFromDevice() {
    if (m_pUnit == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    std::uint32_t current = 0;
    const kernel::NTSTATUS status = m_pUnit->GetCurrentInput(&current);
    if (!kernel::succeeded(status)) return status;
    return CSelectorItem::SetCurrentInput(current);
}

kernel::NTSTATUS CUacMixerControl::Bind(IAudioNode* mixer) {
    if (mixer == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const kernel::NTSTATUS status = AllocateInputs(mixer->GetIdCount());
    return kernel::succeeded(status) ? status : kernel::STATUS_INSUFFICIENT_RESOURCES;
}

kernel::NTSTATUS CUacClockControl::Bind(kernel::IUnknown* clock) {
    kernel::NTSTATUS status = FindUnitFace(clock, IID_IClockSourceUnit, &m_pClock);
    if (!kernel::succeeded(status)) return status;
    std::uint32_t count = 0;
    status = m_pClock->GetSampleRateCount(&count);
    if (!kernel::succeeded(status) || count < 1) return kernel::STATUS_UNSUCCESSFUL;
    if (count > MaxClockRates) count = MaxClockRates;
    std::uint32_t rates[MaxClockRates] = {};
    status = m_pClock->GetSampleRates(&count, rates);
    // A continuous sub-range among discrete ones is refused as a whole, but
    // the discrete rates were stored: the clock runs at those.
    if (status == kernel::STATUS_INVALID_PARAMETER && count != 0) status = kernel::STATUS_SUCCESS;
    if (!kernel::succeeded(status)) return status;
    if (count == 0) return kernel::STATUS_UNSUCCESSFUL;
    return SetUpRates(rates, count);
}

kernel::NTSTATUS CUacClockControl::SetSampleRate(std::uint32_t rate) {
    if (m_pClock == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    const kernel::NTSTATUS status = m_pClock->SetSampleRate(rate);
    if (!kernel::succeeded(status)) return status;
    return CClockItem::SetSampleRate(rate);
}

kernel::NTSTATUS CUacClockControl::GetClockValid(std::uint8_t* valid) {
    if (m_pClock == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    return m_pClock->GetClockValid(valid);
}
