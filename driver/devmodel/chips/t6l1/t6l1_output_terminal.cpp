#include "driver/devmodel/chips/t6l1/t6l1_output_terminal.h"

#include "driver/common/settings_store.h"
#include "driver/devmodel/chips/t6l1/t6l1_effect_host.h"
#include "driver/devmodel/control_settings.h"
#include "driver/devmodel/entity_controls.h"
#include "driver/devmodel/terminal_controls.h"
#include "driver/devmodel/terminal_switch_control.h"
#include "driver/engine/jack_description.h"

namespace {

constexpr std::size_t SourceAt = 7;
constexpr std::uint32_t SpeakerCode = 1;
constexpr std::uint32_t HeadphoneCode = 2;
constexpr std::uint32_t SpdifCode = 3;
// The record every type's control carries: the chip's own endpoint word.
constexpr EndpointInfoRecord TypeRecord = {{0x01006086, 0, 0, 0, 0, 0, 0, 0}};

} // namespace

kernel::NTSTATUS CT6L1OutputTerminal::Parse(std::span<const std::uint8_t> bytes,
                                            kernel::IUnknown* device, CAudioHal* hal,
                                            bool headphones, bool spdif) {
    m_ulCodeCount = 0;
    m_Codes[m_ulCodeCount++] = headphones ? HeadphoneCode : SpeakerCode;
    if (spdif) m_Codes[m_ulCodeCount++] = SpdifCode;
    m_ulCurrentCode = m_Codes[0];
    return CUac1OutputTerminal::Parse(bytes, device, hal);
}

kernel::NTSTATUS CT6L1OutputTerminal::CreateControls(CAudioHal* hal) {
    if (hal == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    KeepHal(hal);
    const std::uint32_t source = Descriptor()[SourceAt];
    kernel::NTSTATUS status = SetIdList(1, &source);
    for (std::uint32_t i = 0; i < m_ulCodeCount && kernel::succeeded(status); ++i)
        status = AddEntityControl<CUacOutputTypeControl>(
            *this, *hal, T6L1Tag,
            [&](CUacOutputTypeControl& control) {
                return control.Bind(static_cast<ITerminalInfo*>(this), TypeRecord);
            },
            i);
    if (kernel::succeeded(status) && m_ulCodeCount > 1)
        status = AddEntityControl<CUacTerminalSwitchControl>(
            *this, *hal, T6L1Tag, [&](CUacTerminalSwitchControl& control) {
                return control.Bind(static_cast<ITerminalInfo*>(this), Settings(),
                                    static_cast<IAudioHal*>(hal));
            });
    if (!kernel::succeeded(status)) return status;
    return AddEntityControl<CT6L1EffectHost>(*this, *hal, T6L1Tag, [&](CT6L1EffectHost& host) {
        return host.Init(static_cast<ITerminalInfo*>(this), Settings(), source);
    });
}

kernel::NTSTATUS CT6L1OutputTerminal::OnDeviceChange(std::uint8_t, std::uint8_t,
                                                     std::uint32_t* nodeId) {
    if (nodeId != nullptr) *nodeId = NoChangedNode;
    ReloadTypeItems();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CT6L1OutputTerminal::GetEndpointType(std::uint32_t* code) {
    if (code == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *code = m_ulCurrentCode;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CT6L1OutputTerminal::GetEndpointTypeCount(std::uint32_t* count) {
    if (count == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *count = m_ulCodeCount;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CT6L1OutputTerminal::GetEndpointTypes(std::uint32_t room, std::uint32_t* codes) {
    if (codes == nullptr || room < m_ulCodeCount) return kernel::STATUS_INVALID_PARAMETER;
    for (std::uint32_t i = 0; i < m_ulCodeCount; ++i) codes[i] = m_Codes[i];
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CT6L1OutputTerminal::SelectEndpointType(std::uint32_t code) {
    bool listed = false;
    for (std::uint32_t i = 0; i < m_ulCodeCount; ++i) listed = listed || m_Codes[i] == code;
    if (!listed) return kernel::STATUS_UNSUCCESSFUL;
    m_ulCurrentCode = code;
    AccessTerminalSetting(Settings(), SETTING_WRITE, &m_ulCurrentCode, sizeof(m_ulCurrentCode),
                          GetId());
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CT6L1OutputTerminal::GetJackCount(std::uint32_t* count, std::uint32_t typeIndex) {
    if (count == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *count = typeIndex < m_ulCodeCount && m_Codes[typeIndex] == SpeakerCode ? 1 : 0;
    return kernel::STATUS_SUCCESS;
}

// A type without a jack has no record to fill.
kernel::NTSTATUS CT6L1OutputTerminal::GetJackDescriptions(std::uint32_t bytes, void* buffer,
                                                          std::uint32_t typeIndex) {
    if (buffer == nullptr || bytes < sizeof(JackDescription) || typeIndex >= m_ulCodeCount ||
        m_Codes[typeIndex] != SpeakerCode)
        return kernel::STATUS_INVALID_PARAMETER;
    if (Hal() == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    auto* jack = static_cast<JackDescription*>(buffer);
    jack->ChannelMapping = 3;
    jack->Color = 0x0000FF00;
    jack->ConnectionType = 1;
    jack->GeoLocation = 1;
    jack->GenLocation = 0;
    jack->PortConnection = 0;
    jack->IsConnected = m_ulCurrentCode == SpeakerCode ? 1 : 0;
    std::uint32_t connect = 0;
    AccessSetting(Settings(), SETTING_READ, &connect, sizeof(connect), u"SetJackConnect");
    if (connect != 0) jack->IsConnected = 1;
    return kernel::STATUS_SUCCESS;
}
