// The control items of input and output terminals: the terminal's endpoint
// type code, its jack records of one type index and the endpoint information
// record. A jack re-read swaps in fresh records under the item's lock, so a
// reader copying them never sees them freed.
#pragma once

#include "driver/common/mutex_lock.h"
#include "driver/engine/terminal_item.h"
#include "platform/kernel/pool.h"

#include <cstdint>

inline constexpr kernel::PoolTag TerminalRecordsTag = kernel::poolTag("Term");

class CUacJackControl : public CTerminalItem {
public:
    CUacJackControl(kernel::IUnknown* outer, std::uint32_t id, std::uint32_t type,
                    std::uint32_t typeIndex)
        : CTerminalItem(outer, id, type), m_ulTypeIndex(typeIndex) {}

    kernel::NTSTATUS GetJackCount(std::uint32_t* count, std::uint32_t typeIndex) override;
    kernel::NTSTATUS GetJackDescriptions(std::uint32_t bytes, void* buffer,
                                         std::uint32_t typeIndex) override;
    // Re-reads the jacks of its type index; on failure the records stay.
    kernel::NTSTATUS ReadFromDevice() override;

protected:
    // Finds the terminal's face and checks it lists one to five types.
    kernel::NTSTATUS FindTerminal(kernel::IUnknown* terminal, std::uint32_t* typeCount);
    kernel::NTSTATUS ReloadJacks();
    std::uint32_t TypeIndex() const { return m_ulTypeIndex; }
    ITerminalInfo* Terminal() const { return m_pTerminal; }

private:
    ITerminalInfo* m_pTerminal = nullptr; // the terminal holds the control
    std::uint32_t m_ulTypeIndex;
    CMutexLock m_JackLock;
};

// An input terminal's item: its endpoint type code (refreshed with each
// re-read) and the jacks of its first type.
class CUacInputJackControl : public CUacJackControl {
public:
    CUacInputJackControl(kernel::IUnknown* outer, std::uint32_t id)
        : CUacJackControl(outer, id, item_type::inputTerminal, 0) {}
    kernel::NTSTATUS Bind(kernel::IUnknown* terminal, const EndpointInfoRecord& record);
    kernel::NTSTATUS ReadFromDevice() override;
};

// One endpoint type of an output terminal: the type's code and its jacks.
class CUacOutputTypeControl : public CUacJackControl {
public:
    CUacOutputTypeControl(kernel::IUnknown* outer, std::uint32_t id, std::uint32_t typeIndex)
        : CUacJackControl(outer, id, item_type::outputTerminal, typeIndex) {}
    kernel::NTSTATUS Bind(kernel::IUnknown* terminal, const EndpointInfoRecord& record);
};
