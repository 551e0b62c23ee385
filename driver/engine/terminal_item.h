// The terminal items of input and output terminals: the terminal codes the
// terminal allows (one to five; the current one first), the terminal's jack
// records and its 32-byte endpoint information record.
#pragma once

#include "driver/engine/audio_node.h"
#include "driver/engine/jack_description.h"
#include "driver/engine/terminal_code_list.h"

#include <cstdint>

inline constexpr kernel::PoolTag TerminalStoreTag = kernel::poolTag("TerT");

// Eight words that the device model fills per endpoint and the miniports and
// the adapter read.
struct EndpointInfoRecord {
    std::uint32_t words[8];
};
static_assert(sizeof(EndpointInfoRecord) == 32);

// Answered by terminal entities and terminal items alike. The type index
// picks one of an output terminal's endpoint types; an item holds the records
// of one type and ignores it.
class ITerminalInfo : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS GetEndpointType(std::uint32_t* code) = 0;
    virtual kernel::NTSTATUS GetEndpointTypeCount(std::uint32_t* count) = 0;
    // Refused when the room (in codes) is below the count.
    virtual kernel::NTSTATUS GetEndpointTypes(std::uint32_t room, std::uint32_t* codes) = 0;
    virtual kernel::NTSTATUS SelectEndpointType(std::uint32_t code) = 0;
    virtual kernel::NTSTATUS GetJackCount(std::uint32_t* count, std::uint32_t typeIndex) = 0;
    // Copies the smaller of bytes and the records' size.
    virtual kernel::NTSTATUS GetJackDescriptions(std::uint32_t bytes, void* buffer,
                                                 std::uint32_t typeIndex) = 0;
    virtual kernel::NTSTATUS GetTerminalRecord(EndpointInfoRecord* record) = 0;

protected:
    ~ITerminalInfo() = default;
};

class CTerminalItem : public CForwardingUnknown<CAudioNode, ITerminalInfo> {
public:
    using CForwardingUnknown::CForwardingUnknown;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    kernel::NTSTATUS GetEndpointType(std::uint32_t* code) override;
    kernel::NTSTATUS GetEndpointTypeCount(std::uint32_t* count) override;
    kernel::NTSTATUS GetEndpointTypes(std::uint32_t room, std::uint32_t* codes) override;
    kernel::NTSTATUS SelectEndpointType(std::uint32_t code) override;
    kernel::NTSTATUS GetJackCount(std::uint32_t* count, std::uint32_t typeIndex) override;
    kernel::NTSTATUS GetJackDescriptions(std::uint32_t bytes, void* buffer,
                                         std::uint32_t typeIndex) override;
    kernel::NTSTATUS GetTerminalRecord(EndpointInfoRecord* record) override;

    // The stores the binding controls fill.
    kernel::NTSTATUS StoreCodes(std::uint32_t count, const std::uint32_t* codes) {
        return m_Codes.Store(count, codes);
    }
    // No records (count 0) empties the store.
    kernel::NTSTATUS StoreJackRecords(std::uint32_t count, const JackDescription* records);
    void StoreTerminalRecord(const EndpointInfoRecord& record) { m_Record = record; }
    kernel::NTSTATUS StoreSource(std::uint32_t sourceId) { return SetSingleId(sourceId); }
    // What an internal stereo-mix input holds: code 16 and one connected jack.
    kernel::NTSTATUS StoreStereoMixDefault();

private:
    CTerminalCodeList m_Codes;
    CPoolBuffer m_Jacks;
    std::uint32_t m_ulJackCount = 0;
    EndpointInfoRecord m_Record = {};
};
