// What the input and output terminals of both releases share: the requests
// that reach a terminal's controls (release 1 through vendor requests,
// release 2 through CUR and RANGE), the device's jack lists turned into jack
// records, and reporting those records with their connection state. A
// terminal answers ITerminalInfo for the control items it creates.
#pragma once

#include "driver/common/mutex_lock.h"
#include "driver/common/pool_buffer.h"
#include "driver/devmodel/uac_entity.h"
#include "driver/engine/terminal_item.h"

#include <cstdint>
#include <span>

// How one release reaches a terminal's controls and reads its jacks.
struct TerminalProtocol {
    usb::AudioRelease release;
    bool vendor;              // release 1 asks with vendor requests
    std::uint8_t read;        // reads a control's current value
    std::uint8_t list;        // lists the selectable terminal types
    std::uint8_t write;       // writes a control's current value
    bool reportsPresence;     // release 1 jacks may report their presence
    bool jackListRequired;    // a refused jack list ends the terminal's creation
    std::uint16_t controlsAt; // release 2: where bmControls sits; 0 for none
    kernel::PoolTag tag;
};

// The wValue of the terminal requests.
namespace terminal_value {
inline constexpr std::uint16_t jackList = 0x02FF;
inline constexpr std::uint16_t jackStatus = 0x0200;
inline constexpr std::uint16_t terminalType = 0x0800;
} // namespace terminal_value

// The jack records of one terminal type.
class CJackRecords {
public:
    std::uint32_t Count() const { return m_ulCount; }
    JackDescription* Records() const { return m_Records.Get<JackDescription>(); }
    void Adopt(CPoolBuffer records, std::uint32_t count) {
        m_Records = std::move(records);
        m_ulCount = count;
    }

private:
    CPoolBuffer m_Records;
    std::uint32_t m_ulCount = 0;
};

class CUacTerminal : public CForwardingUnknown<CUacEntity, ITerminalInfo> {
public:
    CUacTerminal(kernel::IUnknown* outer, const TerminalProtocol& protocol)
        : CForwardingUnknown(outer), m_Protocol(protocol) {}

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // Checks and copies the descriptor at the start of bytes, creates the
    // control items and chains them.
    kernel::NTSTATUS Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                           CAudioHal* hal);

    // Terminals keep no endpoint record of their own; their items do.
    kernel::NTSTATUS GetTerminalRecord(EndpointInfoRecord*) override {
        return kernel::STATUS_NOT_IMPLEMENTED;
    }

protected:
    virtual std::uint8_t Subtype() const = 0;
    const TerminalProtocol& Protocol() const { return m_Protocol; }
    std::uint16_t TerminalType() const;
    // Whether the device may be asked about jacks and types: release 2 only
    // when bmControls shows the connector control.
    bool HasConnectorControl() const;
    // Whether the device's type and jack requests apply: not to a streaming
    // terminal, nor to one without a connector control, nor to a chip's
    // terminal that keeps to its descriptor.
    virtual bool AsksDevice() const;
    bool DeviceAnswersUsb() const;

    // A terminal request; returned gets the bytes the device moved.
    kernel::NTSTATUS Request(bool in, std::uint8_t code, std::uint16_t value, void* buffer,
                             std::uint32_t length, std::uint32_t* returned = nullptr);
    // The terminal type the device plays as now.
    kernel::NTSTATUS ReadTerminalType(std::uint16_t* terminalType);
    // Selects a terminal type on the device.
    kernel::NTSTATUS WriteTerminalType(std::uint16_t terminalType);
    // The device's jack list as records: none when the device lists none.
    // Only the entries the device returned count.
    kernel::NTSTATUS ReadJackList(CJackRecords* jacks);
    // Checks a caller's buffer for the records: room for all, and jacks to
    // report at all.
    kernel::NTSTATUS CheckJackBuffer(const CJackRecords& jacks, std::uint32_t bytes,
                                     const void* buffer) const;
    // Copies the records with their connection state from the device's jack
    // status, kept in the records too.
    kernel::NTSTATUS ReportConnectedJacks(CJackRecords& jacks, void* buffer);

    CAudioHal* Hal() const { return m_pHal; }
    void KeepHal(CAudioHal* hal) { m_pHal = hal; }
    io::DeviceObject* Settings() const {
        return m_pHal != nullptr ? m_pHal->GetDeviceObject() : nullptr;
    }
    CMutexLock& JackLock() { return m_JackLock; }

private:
    const TerminalProtocol& m_Protocol;
    CAudioHal* m_pHal = nullptr; // the HAL holds the device model and its entities
    CMutexLock m_JackLock;       // the records' connection state
};

inline constexpr kernel::PoolTag Uac1TerminalTag = kernel::poolTag("UA10");
inline constexpr kernel::PoolTag Uac2TerminalTag = kernel::poolTag("UA20");

inline constexpr TerminalProtocol Uac1TerminalProtocol = {
    usb::AudioRelease::uac1, true, 0x81, 0x86, 0x81, true, false, 0, Uac1TerminalTag};
inline constexpr TerminalProtocol Uac2InputTerminalProtocol = {
    usb::AudioRelease::uac2, false, 0x01, 0x02, 0x01, false, true, 14, Uac2TerminalTag};
inline constexpr TerminalProtocol Uac2OutputTerminalProtocol = {
    usb::AudioRelease::uac2, false, 0x01, 0x02, 0x01, false, true, 9, Uac2TerminalTag};
