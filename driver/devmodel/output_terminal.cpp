#include "driver/devmodel/output_terminal.h"

#include "driver/common/settings_store.h"
#include "driver/devmodel/control_settings.h"
#include "driver/devmodel/entity_controls.h"
#include "driver/devmodel/terminal_controls.h"
#include "driver/devmodel/terminal_switch_control.h"
#include "driver/devmodel/terminal_tables.h"
#include "platform/usb/audio_requests.h"
#include "platform/usb/little_endian.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t SourceAt = 7;
constexpr std::size_t ClockSourceAt = 8;
constexpr std::uint32_t RenderDirection = 0;
// A count word, then 6 bytes per type whose first word is the terminal type.
constexpr std::uint32_t TypeListHeader = 2;
constexpr std::uint32_t TypeEntryBytes = 6;

} // namespace

kernel::NTSTATUS CTerminalTypeTable::Allocate(std::uint32_t count, kernel::PoolTag tag) {
    Clear();
    CPoolBuffer block(kernel::PoolType::NonPagedNx, sizeof(TerminalTypeEntry) * count, tag);
    if (!block.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    auto* entries = block.Get<TerminalTypeEntry>();
    for (std::uint32_t i = 0; i < count; ++i) new (&entries[i]) TerminalTypeEntry();
    m_Block = std::move(block);
    m_ulCount = count;
    return kernel::STATUS_SUCCESS;
}

void CTerminalTypeTable::Clear() {
    for (std::uint32_t i = 0; i < m_ulCount; ++i) (*this)[i].~TerminalTypeEntry();
    m_Block = CPoolBuffer();
    m_ulCount = 0;
}

std::uint32_t CTerminalTypeTable::Find(std::uint32_t code) const {
    for (std::uint32_t i = 0; i < m_ulCount; ++i)
        if ((*this)[i].code == code) return i;
    return m_ulCount;
}

kernel::NTSTATUS CUacOutputTerminal::CreateControls(CAudioHal* hal) {
    if (hal == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    KeepHal(hal);
    const std::uint32_t source = Descriptor()[SourceAt];
    kernel::NTSTATUS status = SetIdList(1, &source);
    if (!kernel::succeeded(status)) return status;
    const std::uint16_t type = TerminalType();
    const std::uint32_t defaultCode =
        AsksDevice() ? OutputEndpointCode(type) : OwnEndpointCode(type);
    if (!AsksDevice()) {
        status = m_Types.Allocate(1, Protocol().tag);
        if (!kernel::succeeded(status)) return status;
        m_Types[0].terminalType = type;
        m_Types[0].code = defaultCode;
        // A release-2 terminal without a connector control still keeps the
        // code the user chose last.
        m_ulCurrentCode = defaultCode;
        if (Protocol().release == usb::AudioRelease::uac2)
            AccessTerminalSetting(Settings(), SETTING_READ, &m_ulCurrentCode,
                                  sizeof(m_ulCurrentCode), GetId());
    } else {
        if (!DeviceAnswersUsb()) return kernel::STATUS_UNSUCCESSFUL;
        m_ulCurrentCode = StartingCode(defaultCode);
        status = ReadTypeList();
        if (kernel::succeeded(status)) status = ReadTypeJacks();
        if (!kernel::succeeded(status)) return status;
    }
    return CreateTypeControls(*hal);
}

// Release 1 takes the device's type whenever "INITOTTYPEBYSEL" asks for
// it; release 2 only when no code was persisted.
std::uint32_t CUacOutputTerminal::StartingCode(std::uint32_t defaultCode) {
    std::uint32_t stored = defaultCode;
    const bool persisted = kernel::succeeded(
        AccessTerminalSetting(Settings(), SETTING_READ, &stored, sizeof(stored), GetId()));
    std::uint32_t byDevice = 0;
    AccessSetting(Settings(), SETTING_READ, &byDevice, sizeof(byDevice), u"INITOTTYPEBYSEL");
    std::uint16_t deviceType = 0;
    if (!kernel::succeeded(ReadTerminalType(&deviceType))) return stored;
    const bool takeDevice =
        Protocol().release == usb::AudioRelease::uac1 ? byDevice != 0 : byDevice != 0 && !persisted;
    return takeDevice ? OutputEndpointCode(deviceType) : stored;
}

// Only whole entries the device returned are types.
kernel::NTSTATUS CUacOutputTerminal::ReadTypeList() {
    std::uint8_t header[TypeListHeader] = {};
    std::uint32_t returned = 0;
    const kernel::NTSTATUS counted = Request(true, Protocol().list, terminal_value::terminalType,
                                             header, sizeof(header), &returned);
    // Running out of memory is not a device without a list.
    if (counted == kernel::STATUS_INSUFFICIENT_RESOURCES) return counted;
    std::uint32_t listed = 0;
    if (kernel::succeeded(counted) && returned == sizeof(header))
        listed = usb::readLittleEndian<2>(header, 0);
    CPoolBuffer list;
    if (listed >= 2) {
        list = CPoolBuffer(kernel::PoolType::NonPagedNx, TypeEntryBytes * listed + TypeListHeader,
                           Protocol().tag);
        if (!list.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
        const kernel::NTSTATUS status =
            Request(true, Protocol().list, terminal_value::terminalType, list.Get(),
                    static_cast<std::uint32_t>(list.Size()), &returned);
        if (!kernel::succeeded(status)) return status;
        const std::uint32_t whole =
            returned >= TypeListHeader ? (returned - TypeListHeader) / TypeEntryBytes : 0;
        listed = std::min(listed, whole);
    }
    // A count below 2 is no list: the terminal has its own type alone.
    if (listed < 1 || !list.IsValid()) {
        const kernel::NTSTATUS status = m_Types.Allocate(1, Protocol().tag);
        if (!kernel::succeeded(status)) return status;
        m_Types[0].terminalType = TerminalType();
        m_Types[0].code = OutputEndpointCode(TerminalType());
        return kernel::STATUS_SUCCESS;
    }
    const kernel::NTSTATUS status = m_Types.Allocate(listed, Protocol().tag);
    if (!kernel::succeeded(status)) return status;
    const std::span<const std::uint8_t> bytes(list.Get<const std::uint8_t>(), list.Size());
    for (std::uint32_t i = 0; i < listed; ++i) {
        const auto type = static_cast<std::uint16_t>(
            usb::readLittleEndian<2>(bytes, TypeListHeader + TypeEntryBytes * i));
        m_Types[i].terminalType = type;
        m_Types[i].code = OutputEndpointCode(type);
    }
    return kernel::STATUS_SUCCESS;
}

// Each type's jacks are listed while the device plays as that type; the
// current type is selected again afterwards, also after a failure.
kernel::NTSTATUS CUacOutputTerminal::ReadTypeJacks() {
    const bool several = m_Types.Count() > 1;
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    for (std::uint32_t i = 0; i < m_Types.Count(); ++i) {
        if (several) WriteTerminalType(m_Types[i].terminalType);
        status = ReadJackList(&m_Types[i].jacks);
        if (kernel::succeeded(status)) continue;
        if (Protocol().jackListRequired || status == kernel::STATUS_INSUFFICIENT_RESOURCES) break;
        status = kernel::STATUS_SUCCESS;
    }
    if (several) {
        const std::uint32_t current = m_Types.Find(m_ulCurrentCode);
        if (current < m_Types.Count()) WriteTerminalType(m_Types[current].terminalType);
    }
    return status;
}

kernel::NTSTATUS CUacOutputTerminal::CreateTypeControls(CAudioHal& hal) {
    for (std::uint32_t i = 0; i < m_Types.Count(); ++i) {
        EndpointInfoRecord record{};
        kernel::NTSTATUS status =
            hal.GetEndpointInfoRecord(RenderDirection, m_Types[i].code, &record);
        if (!kernel::succeeded(status)) return status;
        status = AddEntityControl<CUacOutputTypeControl>(
            *this, hal, Protocol().tag,
            [&](CUacOutputTypeControl& control) {
                return control.Bind(static_cast<ITerminalInfo*>(this), record);
            },
            i);
        if (!kernel::succeeded(status)) return status;
    }
    if (m_Types.Count() < 2) return kernel::STATUS_SUCCESS;
    io::DeviceObject* settings = Settings();
    return AddEntityControl<CUacTerminalSwitchControl>(
        *this, hal, Protocol().tag, [&](CUacTerminalSwitchControl& control) {
            return control.Bind(static_cast<ITerminalInfo*>(this), settings,
                                static_cast<IAudioHal*>(&hal));
        });
}

void CUacOutputTerminal::PersistCurrentCode() {
    AccessTerminalSetting(Settings(), SETTING_WRITE, &m_ulCurrentCode, sizeof(m_ulCurrentCode),
                          GetId());
}

kernel::NTSTATUS CUacOutputTerminal::TakeDeviceType(bool* changed) {
    *changed = false;
    std::uint16_t type = 0;
    const kernel::NTSTATUS status = ReadTerminalType(&type);
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t code = OutputEndpointCode(type, false);
    if (code == m_ulCurrentCode) return kernel::STATUS_SUCCESS;
    m_ulCurrentCode = code;
    *changed = true;
    PersistCurrentCode();
    return kernel::STATUS_SUCCESS;
}

bool CUacOutputTerminal::ReloadTypeItems() {
    bool reloaded = false;
    if (IAudioNode* selection = FindItemOfType(item_type::terminalTypeSelection)) {
        selection->ReadFromDevice();
        reloaded = true;
    }
    for (std::uint32_t index = 0;; ++index) {
        IAudioNode* item = nullptr;
        if (!kernel::succeeded(GetItemAt(index, &item)) || item == nullptr) break;
        if (item->GetType() != item_type::outputTerminal) continue;
        item->ReadFromDevice();
        reloaded = true;
    }
    return reloaded;
}

kernel::NTSTATUS CUacOutputTerminal::OnDeviceChange(std::uint8_t, std::uint8_t,
                                                    std::uint32_t* nodeId) {
    if (nodeId != nullptr) *nodeId = NoChangedNode;
    if (!DeviceAnswersUsb() || Hal() == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    bool changed = false;
    const kernel::NTSTATUS status = TakeDeviceType(&changed);
    if (kernel::succeeded(status) && !changed) return kernel::STATUS_SUCCESS;
    return ReloadTypeItems() ? kernel::STATUS_SUCCESS : status;
}

kernel::NTSTATUS CUacOutputTerminal::GetEndpointType(std::uint32_t* code) {
    if (code == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *code = m_ulCurrentCode;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacOutputTerminal::GetEndpointTypeCount(std::uint32_t* count) {
    if (count == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *count = m_Types.Count();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacOutputTerminal::GetEndpointTypes(std::uint32_t room, std::uint32_t* codes) {
    if (codes == nullptr || room < m_Types.Count()) return kernel::STATUS_INVALID_PARAMETER;
    for (std::uint32_t i = 0; i < m_Types.Count(); ++i) codes[i] = m_Types[i].code;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacOutputTerminal::SelectEndpointType(std::uint32_t code) {
    const std::uint32_t index = m_Types.Find(code);
    if (code == m_ulCurrentCode) {
        // The switch applies its code this way after a power change, when
        // the device may have gone back to a type of its own: tell it again.
        if (m_Types.Count() > 1 && index < m_Types.Count())
            WriteTerminalType(m_Types[index].terminalType);
        return kernel::STATUS_SUCCESS;
    }
    if (index == m_Types.Count()) return kernel::STATUS_UNSUCCESSFUL;
    // The device's answer does not matter: the terminal plays as the type
    // chosen, as it would had the device taken it.
    WriteTerminalType(m_Types[index].terminalType);
    m_ulCurrentCode = code;
    PersistCurrentCode();
    for (std::uint32_t i = 0;; ++i) {
        IAudioNode* item = nullptr;
        if (!kernel::succeeded(GetItemAt(i, &item)) || item == nullptr) break;
        if (item->GetType() == item_type::outputTerminal) item->ReadFromDevice();
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacOutputTerminal::GetJackCount(std::uint32_t* count, std::uint32_t typeIndex) {
    if (count == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (!AsksDevice()) {
        *count = 0;
        return kernel::STATUS_SUCCESS;
    }
    if (typeIndex >= m_Types.Count()) return kernel::STATUS_INVALID_PARAMETER;
    *count = m_Types[typeIndex].jacks.Count();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacOutputTerminal::GetJackDescriptions(std::uint32_t bytes, void* buffer,
                                                         std::uint32_t typeIndex) {
    if (typeIndex >= m_Types.Count()) return kernel::STATUS_INVALID_PARAMETER;
    TerminalTypeEntry& entry = m_Types[typeIndex];
    const kernel::NTSTATUS status = CheckJackBuffer(entry.jacks, bytes, buffer);
    if (!kernel::succeeded(status)) return status;
    if (entry.code == m_ulCurrentCode) return ReportConnectedJacks(entry.jacks, buffer);
    std::uint32_t connect = 0;
    AccessSetting(Settings(), SETTING_READ, &connect, sizeof(connect), u"SetJackConnect");
    auto* out = static_cast<JackDescription*>(buffer);
    CMutexLockScope scope(JackLock());
    std::memcpy(out, entry.jacks.Records(), sizeof(JackDescription) * entry.jacks.Count());
    for (std::uint32_t i = 0; i < entry.jacks.Count(); ++i) out[i].IsConnected = connect != 0;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUac2OutputTerminal::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                  void** object) {
    return AnswerAfterBase(CUacOutputTerminal::NonDelegatingQueryInterface(id, object),
                           static_cast<IClockSourceLink*>(this), id, IID_IClockSourceLink, object);
}

// A type change is read first; its failure ends the change.
kernel::NTSTATUS CUac2OutputTerminal::OnDeviceChange(std::uint8_t selector, std::uint8_t,
                                                     std::uint32_t* nodeId) {
    constexpr std::uint8_t TerminalTypeChanged = 8;
    if (nodeId != nullptr) *nodeId = NoChangedNode;
    if (selector != usb::uac2::terminal_control::connector && selector != TerminalTypeChanged)
        return kernel::STATUS_UNSUCCESSFUL;
    if (selector == TerminalTypeChanged) {
        bool changed = false;
        const kernel::NTSTATUS status = TakeDeviceType(&changed);
        if (!kernel::succeeded(status)) return status;
    }
    ReloadTypeItems();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUac2OutputTerminal::GetClockSourceId(std::uint32_t* id) {
    return ReadClockSourceId(Descriptor(), Subtype(), ClockSourceAt, id);
}
