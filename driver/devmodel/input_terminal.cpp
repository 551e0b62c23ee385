#include "driver/devmodel/input_terminal.h"

#include "driver/devmodel/entity_controls.h"
#include "driver/devmodel/terminal_controls.h"
#include "driver/devmodel/terminal_tables.h"
#include "platform/usb/audio_requests.h"

namespace {

constexpr std::size_t ClockSourceAt = 7;
constexpr std::uint32_t CaptureDirection = 1;

} // namespace

kernel::NTSTATUS ReadClockSourceId(std::span<const std::uint8_t> descriptor, std::uint8_t subtype,
                                   std::size_t at, std::uint32_t* id) {
    if (id == nullptr || descriptor.size() <= at || descriptor.size() < 3 ||
        descriptor[2] != subtype)
        return kernel::STATUS_INVALID_PARAMETER;
    *id = descriptor[at];
    return kernel::STATUS_SUCCESS;
}

// A release-1 device that refuses the jack list has no jacks; release 2
// makes that the terminal's failure. Running out of memory always is.
kernel::NTSTATUS CUacInputTerminal::CreateControls(CAudioHal* hal) {
    if (hal == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    KeepHal(hal);
    kernel::NTSTATUS status = SetIdList(0, nullptr);
    if (!kernel::succeeded(status)) return status;
    if (AsksDevice()) {
        if (!DeviceAnswersUsb()) return kernel::STATUS_UNSUCCESSFUL;
        status = ReadJackList(&m_Jacks);
        if (!kernel::succeeded(status) &&
            (Protocol().jackListRequired || status == kernel::STATUS_INSUFFICIENT_RESOURCES))
            return status;
    }
    EndpointInfoRecord record{};
    status =
        hal->GetEndpointInfoRecord(CaptureDirection, InputEndpointKind(TerminalType()), &record);
    if (!kernel::succeeded(status)) return status;
    return AddEntityControl<CUacInputJackControl>(
        *this, *hal, Protocol().tag, [&](CUacInputJackControl& control) {
            return control.Bind(static_cast<ITerminalInfo*>(this), record);
        });
}

kernel::NTSTATUS CUacInputTerminal::OnDeviceChange(std::uint8_t, std::uint8_t,
                                                   std::uint32_t* nodeId) {
    IAudioNode* jacks = FindItemOfType(item_type::inputTerminal);
    if (nodeId == nullptr || jacks == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    *nodeId = jacks->GetId();
    jacks->ReadFromDevice();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacInputTerminal::GetEndpointType(std::uint32_t* code) {
    if (code == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *code = InputEndpointCode(TerminalType());
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacInputTerminal::GetEndpointTypeCount(std::uint32_t* count) {
    if (count == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *count = 1;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacInputTerminal::GetEndpointTypes(std::uint32_t room, std::uint32_t* codes) {
    if (room < 1) return kernel::STATUS_INVALID_PARAMETER;
    return GetEndpointType(codes);
}

kernel::NTSTATUS CUacInputTerminal::SelectEndpointType(std::uint32_t code) {
    return code == InputEndpointCode(TerminalType()) ? kernel::STATUS_SUCCESS
                                                     : kernel::STATUS_INVALID_PARAMETER;
}

kernel::NTSTATUS CUacInputTerminal::GetJackCount(std::uint32_t* count, std::uint32_t) {
    if (count == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *count = HasVisibleJacks(TerminalType()) ? m_Jacks.Count() : 0;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacInputTerminal::GetJackDescriptions(std::uint32_t bytes, void* buffer,
                                                        std::uint32_t) {
    const kernel::NTSTATUS status = CheckJackBuffer(m_Jacks, bytes, buffer);
    if (!kernel::succeeded(status)) return status;
    return ReportConnectedJacks(m_Jacks, buffer);
}

kernel::NTSTATUS CUac2InputTerminal::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                 void** object) {
    return AnswerAfterBase(CUacInputTerminal::NonDelegatingQueryInterface(id, object),
                           static_cast<IClockSourceLink*>(this), id, IID_IClockSourceLink, object);
}

kernel::NTSTATUS CUac2InputTerminal::OnDeviceChange(std::uint8_t selector, std::uint8_t channel,
                                                    std::uint32_t* nodeId) {
    if (selector != usb::uac2::terminal_control::connector || channel != 0)
        return kernel::STATUS_UNSUCCESSFUL;
    return CUacInputTerminal::OnDeviceChange(selector, channel, nodeId);
}

kernel::NTSTATUS CUac2InputTerminal::GetClockSourceId(std::uint32_t* id) {
    return ReadClockSourceId(Descriptor(), Subtype(), ClockSourceAt, id);
}
