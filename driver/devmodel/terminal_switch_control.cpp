#include "driver/devmodel/terminal_switch_control.h"

#include "driver/common/settings_store.h"
#include "driver/devmodel/audio_device_model.h"
#include "driver/devmodel/control_settings.h"
#include "driver/devmodel/unit_face.h"
#include "driver/engine/queried_interface.h"

kernel::NTSTATUS CUacTerminalSwitchControl::Bind(kernel::IUnknown* terminal,
                                                 io::DeviceObject* settings, IAudioHal* hal) {
    kernel::NTSTATUS status = FindUnitFace(terminal, IID_ITerminalInfo, &m_pTerminal);
    if (!kernel::succeeded(status)) return status;
    std::uint32_t count = 0;
    if (!kernel::succeeded(m_pTerminal->GetEndpointTypeCount(&count)) || count == 0 ||
        count > MaxTerminalCodes)
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::uint32_t codes[MaxTerminalCodes] = {};
    status = m_pTerminal->GetEndpointTypes(count, codes);
    if (kernel::succeeded(status)) status = SetUpTypes(count, codes);
    if (!kernel::succeeded(status)) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    m_pSettings = settings;
    m_pHal = hal;
    std::uint32_t current = codes[0];
    m_pTerminal->GetEndpointType(&current);
    AccessUnitSetting(settings, SETTING_READ, &current, sizeof(current), GetId());
    SetCurrentType(current);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacTerminalSwitchControl::GetCurrentType(std::uint32_t* code) {
    if (code == nullptr || m_pTerminal == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const kernel::NTSTATUS status = m_pTerminal->GetEndpointType(code);
    if (kernel::succeeded(status)) SetCurrentType(*code);
    return status;
}

// The device model renames the endpoints whose switch is marked changed, so
// the mark comes first. A model without that face has nothing to rename.
kernel::NTSTATUS CUacTerminalSwitchControl::AnnounceSwitch(std::uint32_t code) {
    CQueriedInterface<IAudioNode> terminal(m_pTerminal, IID_IAudioNode);
    if (!terminal) return kernel::STATUS_UNSUCCESSFUL;
    kernel::NTSTATUS status = MarkSelected(code);
    if (!kernel::succeeded(status)) return status;
    CQueriedInterface<IAudioDeviceModel> model(m_pHal, IID_IAudioDeviceModel);
    if (model) {
        status = model->UpdateEndpoints(terminal->GetId());
        if (!kernel::succeeded(status)) return status;
        kernel::CallbackObject* callback = nullptr;
        status = model->GetCallbackObject(&callback);
        if (!kernel::succeeded(status)) return status;
    }
    // The followers take 32-bit values; the callback object, an address,
    // is the model's to announce with, not theirs.
    TellFollowers(code, 0);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacTerminalSwitchControl::SelectType(std::uint32_t code) {
    std::uint32_t previous = 0;
    CTerminalTypeItem::GetCurrentType(&previous);
    if (code == previous) return kernel::STATUS_SUCCESS;
    if (m_pTerminal == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    kernel::NTSTATUS status = m_pTerminal->SelectEndpointType(code);
    if (!kernel::succeeded(status)) return status;
    status = AnnounceSwitch(code);
    if (!kernel::succeeded(status)) {
        SetCurrentType(previous);
        m_pTerminal->SelectEndpointType(previous);
        return status;
    }
    Persist(code);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacTerminalSwitchControl::ApplyToDevice() {
    if (m_pTerminal == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    std::uint32_t code = 0;
    CTerminalTypeItem::GetCurrentType(&code);
    return m_pTerminal->SelectEndpointType(code);
}

kernel::NTSTATUS CUacTerminalSwitchControl::ReadFromDevice() {
    if (m_pTerminal == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    std::uint32_t code = 0;
    kernel::NTSTATUS status = m_pTerminal->GetEndpointType(&code);
    if (!kernel::succeeded(status)) return status;
    std::uint32_t cached = 0;
    CTerminalTypeItem::GetCurrentType(&cached);
    if (code == cached) return kernel::STATUS_SUCCESS;
    return SelectType(code);
}

void CUacTerminalSwitchControl::Persist(std::uint32_t code) {
    AccessUnitSetting(m_pSettings, SETTING_WRITE, &code, sizeof(code), GetId());
}
