// The output terminals of both releases. A terminal may play as one of
// several terminal types the device lists (headphones, speakers, ...): each
// type has its endpoint code, its jacks and an output-type control item, and
// with more than one type a terminal switch item selects among them. The
// current code is persisted under the terminal's own name. Release 2
// terminals also name their clock source.
#pragma once

#include "driver/devmodel/clock_source_link.h"
#include "driver/devmodel/terminal_tables.h"
#include "driver/devmodel/uac_terminal.h"

#include <cstdint>

// One terminal type a terminal can play as.
struct TerminalTypeEntry {
    std::uint16_t terminalType = 0;
    std::uint32_t code = 0;
    CJackRecords jacks;
};

// The types of one terminal, in pool memory.
class CTerminalTypeTable {
public:
    CTerminalTypeTable() = default;
    CTerminalTypeTable(const CTerminalTypeTable&) = delete;
    CTerminalTypeTable& operator=(const CTerminalTypeTable&) = delete;
    ~CTerminalTypeTable() { Clear(); }

    kernel::NTSTATUS Allocate(std::uint32_t count, kernel::PoolTag tag);
    void Clear();
    std::uint32_t Count() const { return m_ulCount; }
    TerminalTypeEntry& operator[](std::uint32_t index) const {
        return m_Block.Get<TerminalTypeEntry>()[index];
    }
    // The index of the first type with the code; Count() when none has it.
    std::uint32_t Find(std::uint32_t code) const;

private:
    CPoolBuffer m_Block;
    std::uint32_t m_ulCount = 0;
};

class CUacOutputTerminal : public CUacTerminal {
public:
    using CUacTerminal::CUacTerminal;

    kernel::NTSTATUS CreateControls(CAudioHal* hal) override;
    // The device switched its terminal type: the new code becomes current
    // and persisted, the switch and the output types re-read.
    kernel::NTSTATUS OnDeviceChange(std::uint8_t selector, std::uint8_t channel,
                                    std::uint32_t* nodeId) override;

    kernel::NTSTATUS GetEndpointType(std::uint32_t* code) override;
    kernel::NTSTATUS GetEndpointTypeCount(std::uint32_t* count) override;
    kernel::NTSTATUS GetEndpointTypes(std::uint32_t room, std::uint32_t* codes) override;
    // Selects the type of this code on the device; persisted and re-read.
    // The current code is only sent to the device again.
    kernel::NTSTATUS SelectEndpointType(std::uint32_t code) override;
    kernel::NTSTATUS GetJackCount(std::uint32_t* count, std::uint32_t typeIndex) override;
    // The current type's jacks with their state from the device; another
    // type's all connected or all not, as the "SetJackConnect" setting says.
    kernel::NTSTATUS GetJackDescriptions(std::uint32_t bytes, void* buffer,
                                         std::uint32_t typeIndex) override;

protected:
    std::uint8_t Subtype() const override { return 3; }
    // The code of the one type a terminal that does not ask the device
    // plays as.
    virtual std::uint32_t OwnEndpointCode(std::uint16_t terminalType) const {
        return OutputEndpointCode(terminalType);
    }
    // The device reported a switch: its type's code becomes current and
    // persisted; changed tells whether it differed.
    kernel::NTSTATUS TakeDeviceType(bool* changed);
    // Re-reads the switch item and every output-type item: whether any was.
    bool ReloadTypeItems();

private:
    // The code that starts as current, from the device and the settings.
    std::uint32_t StartingCode(std::uint32_t defaultCode);
    // The device's list of selectable types; one (the descriptor's) when it
    // lists fewer than two.
    kernel::NTSTATUS ReadTypeList();
    kernel::NTSTATUS ReadTypeJacks();
    kernel::NTSTATUS CreateTypeControls(CAudioHal& hal);
    void PersistCurrentCode();

    CTerminalTypeTable m_Types;
    std::uint32_t m_ulCurrentCode = 0;
};

class CUac1OutputTerminal : public CUacOutputTerminal {
public:
    explicit CUac1OutputTerminal(kernel::IUnknown* outer)
        : CUacOutputTerminal(outer, Uac1TerminalProtocol) {}
};

class CUac2OutputTerminal : public CForwardingUnknown<CUacOutputTerminal, IClockSourceLink> {
public:
    explicit CUac2OutputTerminal(kernel::IUnknown* outer)
        : CForwardingUnknown(outer, Uac2OutputTerminalProtocol) {}
    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;
    // A connector change (2) or a terminal type change (8); names no item.
    kernel::NTSTATUS OnDeviceChange(std::uint8_t selector, std::uint8_t channel,
                                    std::uint32_t* nodeId) override;
    kernel::NTSTATUS GetClockSourceId(std::uint32_t* id) override;
};
