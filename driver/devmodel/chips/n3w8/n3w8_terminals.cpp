#include "driver/devmodel/chips/n3w8/n3w8_terminals.h"

#include "driver/common/settings_store.h"
#include "driver/devmodel/control_settings.h"
#include "driver/devmodel/entity_controls.h"
#include "driver/devmodel/terminal_controls.h"
#include "driver/devmodel/terminal_switch_control.h"
#include "driver/engine/jack_description.h"
#include "driver/engine/stream_engine.h"

#include <algorithm>

namespace {

constexpr std::size_t SourceAt = 7;
constexpr std::uint32_t SpeakerType = 1;
constexpr std::uint32_t HeadphoneType = 2;
constexpr std::uint32_t SpdifType = 3;

// The chip's output routing per type, written in this order.
struct RegisterWrite {
    std::uint32_t index;
    std::uint16_t value;
    std::uint16_t mask;
};
constexpr RegisterWrite TypeRouting[3][3] = {
    {{2, 0xE000, 0xFFFF}, {1, 0x0002, 0x0002}, {0, 0x0000, 0x8000}}, // speakers
    {{2, 0xFFE0, 0xFFFF}, {1, 0x0002, 0x0002}, {0, 0x0000, 0x8000}}, // headphones
    {{2, 0xE7F8, 0xFFFF}, {1, 0x0000, 0x0002}, {0, 0x8000, 0x8000}}, // S/PDIF
};

bool IsChipType(std::uint32_t type) { return type >= SpeakerType && type <= SpdifType; }

// Front, rear, centre and bass, then the side pair of 8-channel output.
constexpr JackDescription SpeakerJacks[] = {
    {0x003, 0x00FF00, 1, 1, 0, 0, 0, 0, 0},
    {0x030, 0x000000, 1, 1, 0, 0, 0, 0, 0},
    {0x00C, 0xFF8000, 1, 1, 0, 0, 0, 0, 0},
    {0x600, 0x808080, 1, 1, 0, 0, 0, 0, 0},
};
constexpr JackDescription HeadphoneJack = {3, 0xFF00, 1, 1, 0, 0, 0, 0, 0};
constexpr JackDescription SpdifJack = {3, 0, 5, 1, 0, 0, 0, 0, 0};

const JackDescription* JacksOf(std::uint32_t code) {
    switch (code) {
    case SpeakerType:
        return SpeakerJacks;
    case HeadphoneType:
        return &HeadphoneJack;
    default:
        return &SpdifJack;
    }
}

} // namespace

kernel::NTSTATUS CN3W8OutputTerminal::Parse(std::span<const std::uint8_t> bytes,
                                            kernel::IUnknown* device, CAudioHal* hal,
                                            const N3W8EntityContext& context) {
    m_pRegisters = context.registers;
    m_bEightChannels = context.eightChannels;
    std::uint32_t codes[3] = {SpeakerType};
    std::uint32_t count = 1;
    if (context.headphones) codes[count++] = HeadphoneType;
    if (context.spdif) codes[count++] = SpdifType;
    const kernel::NTSTATUS status = m_Codes.Store(count, codes);
    if (!kernel::succeeded(status)) return status;
    return CUacOutputTerminal::Parse(bytes, device, hal);
}

std::uint32_t CN3W8OutputTerminal::JackCount(std::uint32_t code) const {
    if (code == SpeakerType) return m_bEightChannels ? 4 : 3;
    return 1;
}

kernel::NTSTATUS CN3W8OutputTerminal::WriteChip(std::uint32_t code) {
    if (!IsChipType(code)) return kernel::STATUS_SUCCESS;
    if (m_pRegisters == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    for (const RegisterWrite& write : TypeRouting[code - SpeakerType]) {
        const kernel::NTSTATUS status =
            m_pRegisters->WriteRegister(write.index, write.value, write.mask);
        if (!kernel::succeeded(status)) return status;
    }
    return kernel::STATUS_SUCCESS;
}

// The stored type reaches the chip whether or not the product still offers
// it; a type no longer offered does not stay current, or the terminal would
// report no jack connected and its endpoint would vanish: the first type
// takes over, on the chip too. The setting keeps the user's choice.
kernel::NTSTATUS CN3W8OutputTerminal::StartCurrentType() {
    std::uint32_t stored = SpeakerType;
    AccessTerminalSetting(Settings(), SETTING_READ, &stored, sizeof stored, GetId());
    kernel::NTSTATUS status = WriteChip(stored);
    if (!kernel::succeeded(status)) return status;
    m_Codes.Select(m_Codes.Lists(stored) ? stored : m_Codes.At(0));
    if (IsChipType(stored) && m_Codes.Current() != stored) status = WriteChip(m_Codes.Current());
    return status;
}

kernel::NTSTATUS CN3W8OutputTerminal::CreateControls(CAudioHal* hal) {
    if (hal == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    KeepHal(hal);
    const std::uint32_t source = Descriptor()[SourceAt];
    kernel::NTSTATUS status = SetIdList(1, &source);
    if (kernel::succeeded(status)) status = StartCurrentType();
    for (std::uint32_t i = 0; i < m_Codes.Count() && kernel::succeeded(status); ++i) {
        EndpointInfoRecord record{};
        status = hal->GetEndpointInfoRecord(EngineDirectionRender, m_Codes.At(i), &record);
        if (!kernel::succeeded(status)) break;
        status = AddEntityControl<CUacOutputTypeControl>(
            *this, *hal, N3W8EntityTag,
            [&](CUacOutputTypeControl& control) {
                return control.Bind(static_cast<ITerminalInfo*>(this), record);
            },
            i);
    }
    if (!kernel::succeeded(status) || m_Codes.Count() < 2) return status;
    return AddEntityControl<CUacTerminalSwitchControl>(
        *this, *hal, N3W8EntityTag, [&](CUacTerminalSwitchControl& control) {
            return control.Bind(static_cast<ITerminalInfo*>(this), Settings(),
                                static_cast<IAudioHal*>(hal));
        });
}

IAudioNode* CN3W8OutputTerminal::ReloadOutputTypes() {
    IAudioNode* last = nullptr;
    for (std::uint32_t index = 0;; ++index) {
        IAudioNode* item = nullptr;
        if (!kernel::succeeded(GetItemAt(index, &item)) || item == nullptr) break;
        if (item->GetType() != item_type::outputTerminal) continue;
        item->ReadFromDevice();
        last = item;
    }
    return last;
}

kernel::NTSTATUS CN3W8OutputTerminal::OnDeviceChange(std::uint8_t, std::uint8_t,
                                                     std::uint32_t* nodeId) {
    IAudioNode* last = ReloadOutputTypes();
    if (last == nullptr || nodeId == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    *nodeId = last->GetId();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CN3W8OutputTerminal::GetEndpointType(std::uint32_t* code) {
    if (code == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *code = m_Codes.Current();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CN3W8OutputTerminal::GetEndpointTypeCount(std::uint32_t* count) {
    if (count == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *count = m_Codes.Count();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CN3W8OutputTerminal::GetEndpointTypes(std::uint32_t room, std::uint32_t* codes) {
    return m_Codes.Copy(room, codes);
}

kernel::NTSTATUS CN3W8OutputTerminal::SelectEndpointType(std::uint32_t code) {
    if (!m_Codes.Lists(code)) return kernel::STATUS_UNSUCCESSFUL;
    const kernel::NTSTATUS status = WriteChip(code);
    if (!kernel::succeeded(status) || code == m_Codes.Current()) return status;
    m_Codes.Select(code);
    AccessTerminalSetting(Settings(), SETTING_WRITE, &code, sizeof code, GetId());
    ReloadOutputTypes();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CN3W8OutputTerminal::GetJackCount(std::uint32_t* count, std::uint32_t typeIndex) {
    if (count == nullptr || typeIndex >= m_Codes.Count()) return kernel::STATUS_INVALID_PARAMETER;
    *count = JackCount(m_Codes.At(typeIndex));
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CN3W8OutputTerminal::GetJackDescriptions(std::uint32_t bytes, void* buffer,
                                                          std::uint32_t typeIndex) {
    if (buffer == nullptr || typeIndex >= m_Codes.Count()) return kernel::STATUS_INVALID_PARAMETER;
    const std::uint32_t code = m_Codes.At(typeIndex);
    const std::uint32_t jacks = JackCount(code);
    if (bytes < jacks * sizeof(JackDescription)) return kernel::STATUS_INVALID_PARAMETER;
    std::uint32_t connect = 0;
    AccessSetting(Settings(), SETTING_READ, &connect, sizeof connect, u"SetJackConnect");
    const std::uint32_t connected = code == m_Codes.Current() || connect != 0 ? 1 : 0;
    auto* out = static_cast<JackDescription*>(buffer);
    std::copy_n(JacksOf(code), jacks, out);
    for (std::uint32_t i = 0; i < jacks; ++i) out[i].IsConnected = connected;
    return kernel::STATUS_SUCCESS;
}
