#include "driver/devmodel/uac_terminal.h"

#include "driver/devmodel/entity_request.h"
#include "driver/devmodel/terminal_tables.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/usb_device.h"
#include "platform/usb/little_endian.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t TerminalTypeAt = 4;
constexpr std::uint32_t JackEntryBytes = 8;
// The jack status: a byte, then the mask of connected channels.
constexpr std::uint32_t JackStatusBytes = 6;
// The first jack-list read: the count and one entry.
constexpr std::uint32_t JackListProbeBytes = 9;
// The connector control's readable bit in a release-2 bmControls.
constexpr std::uint32_t ConnectorControlBit = 1u << 2;

} // namespace

kernel::NTSTATUS CUacTerminal::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(CUacEntity::NonDelegatingQueryInterface(id, object),
                           static_cast<ITerminalInfo*>(this), id, IID_ITerminalInfo, object);
}

kernel::NTSTATUS CUacTerminal::Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                                     CAudioHal* hal) {
    return ParseEntity(bytes, device, hal, m_Protocol.release, Subtype());
}

std::uint16_t CUacTerminal::TerminalType() const {
    const std::span<const std::uint8_t> descriptor = Descriptor();
    if (descriptor.size() < TerminalTypeAt + 2) return 0;
    return static_cast<std::uint16_t>(usb::readLittleEndian<2>(descriptor, TerminalTypeAt));
}

bool CUacTerminal::HasConnectorControl() const {
    if (m_Protocol.controlsAt == 0) return true;
    const std::span<const std::uint8_t> descriptor = Descriptor();
    if (descriptor.size() < m_Protocol.controlsAt + 2u) return false;
    return (usb::readLittleEndian<2>(descriptor, m_Protocol.controlsAt) & ConnectorControlBit) != 0;
}

bool CUacTerminal::AsksDevice() const {
    return TerminalType() != usb::terminal_type::usbStreaming && HasConnectorControl();
}

bool CUacTerminal::DeviceAnswersUsb() const {
    CQueriedInterface<IUsbDevice> usb(Device(), IID_IUsbDevice);
    return static_cast<bool>(usb);
}

kernel::NTSTATUS CUacTerminal::Request(bool in, std::uint8_t code, std::uint16_t value,
                                       void* buffer, std::uint32_t length,
                                       std::uint32_t* returned) {
    return SendEntityRequest(
        Device(),
        {m_Protocol.vendor, in, code, value, static_cast<std::uint8_t>(GetId()), buffer, length},
        returned);
}

kernel::NTSTATUS CUacTerminal::ReadTerminalType(std::uint16_t* terminalType) {
    std::uint8_t bytes[2] = {};
    const kernel::NTSTATUS status = ReadEntityExactly(
        Device(), {m_Protocol.vendor, true, m_Protocol.read, terminal_value::terminalType,
                   static_cast<std::uint8_t>(GetId()), bytes, sizeof(bytes)});
    if (kernel::succeeded(status))
        *terminalType = static_cast<std::uint16_t>(usb::readLittleEndian<2>(bytes, 0));
    return status;
}

kernel::NTSTATUS CUacTerminal::WriteTerminalType(std::uint16_t terminalType) {
    std::uint8_t bytes[2] = {static_cast<std::uint8_t>(terminalType),
                             static_cast<std::uint8_t>(terminalType >> 8)};
    return Request(false, m_Protocol.write, terminal_value::terminalType, bytes, sizeof(bytes));
}

// The count byte comes first, then whole 8-byte entries; a device that
// returns fewer entries than it counted has only those.
kernel::NTSTATUS CUacTerminal::ReadJackList(CJackRecords* jacks) {
    std::uint8_t probe[JackListProbeBytes] = {};
    std::uint32_t returned = 0;
    kernel::NTSTATUS status =
        Request(true, m_Protocol.read, terminal_value::jackList, probe, sizeof(probe), &returned);
    if (!kernel::succeeded(status)) return status;
    if (returned == 0 || probe[0] == 0) return kernel::STATUS_SUCCESS;
    const std::uint32_t counted = probe[0];
    CPoolBuffer list(kernel::PoolType::NonPagedNx, JackEntryBytes * counted + 1, m_Protocol.tag);
    CPoolBuffer records(kernel::PoolType::NonPagedNx, sizeof(JackDescription) * counted,
                        m_Protocol.tag);
    if (!list.IsValid() || !records.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    status = Request(true, m_Protocol.read, terminal_value::jackList, list.Get(),
                     static_cast<std::uint32_t>(list.Size()), &returned);
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t whole = returned > 0 ? (returned - 1) / JackEntryBytes : 0;
    const std::uint32_t count = std::min(counted, whole);
    const auto* entries = list.Get<const std::uint8_t>() + 1;
    auto* out = records.Get<JackDescription>();
    for (std::uint32_t i = 0; i < count; ++i)
        out[i] = JackFromEntry(std::span<const std::uint8_t, JackEntryBytes>(
                                   entries + JackEntryBytes * i, JackEntryBytes),
                               m_Protocol.reportsPresence);
    jacks->Adopt(count != 0 ? std::move(records) : CPoolBuffer(), count);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacTerminal::CheckJackBuffer(const CJackRecords& jacks, std::uint32_t bytes,
                                               const void* buffer) const {
    if (buffer == nullptr || bytes == 0 || !AsksDevice() || jacks.Count() == 0 ||
        bytes < sizeof(JackDescription) * jacks.Count())
        return kernel::STATUS_INVALID_PARAMETER;
    return kernel::STATUS_SUCCESS;
}

// A jack is connected when the device's mask shares a channel with it. A
// release-1 jack that does not report its presence counts as connected, and
// reporting it succeeds even when the status could not be read.
kernel::NTSTATUS CUacTerminal::ReportConnectedJacks(CJackRecords& jacks, void* buffer) {
    std::uint8_t state[JackStatusBytes] = {};
    std::uint32_t returned = 0;
    kernel::NTSTATUS status =
        Request(true, m_Protocol.read, terminal_value::jackStatus, state, sizeof(state), &returned);
    // Bytes the device did not return, or a refused read, count as zeros.
    const std::uint32_t valid =
        kernel::succeeded(status) ? std::min<std::uint32_t>(returned, JackStatusBytes) : 0;
    std::memset(state + valid, 0, JackStatusBytes - valid);
    const std::uint32_t mask = usb::readLittleEndian<4>(state, 1);

    CMutexLockScope scope(m_JackLock);
    JackDescription* records = jacks.Records();
    for (std::uint32_t i = 0; i < jacks.Count(); ++i) {
        JackDescription& jack = records[i];
        if ((mask & jack.ChannelMapping) != 0) {
            jack.IsConnected = 1;
        } else if (!m_Protocol.reportsPresence || jack.PresenceFlag != 0) {
            jack.IsConnected = 0;
        } else {
            jack.IsConnected = 1;
            status = kernel::STATUS_SUCCESS;
        }
    }
    std::memcpy(buffer, records, sizeof(JackDescription) * jacks.Count());
    return status;
}
