#include "driver/devmodel/terminal_controls.h"

#include "driver/common/pool_buffer.h"
#include "driver/devmodel/unit_face.h"

#include <cstring>

namespace {

// The terminal's jacks of one type index in a fresh zeroed block: the
// terminal copies at most the block's size, and what it leaves unwritten
// reads as no jack rather than stale memory.
kernel::NTSTATUS ReadJacks(ITerminalInfo& terminal, std::uint32_t typeIndex, CPoolBuffer* records,
                           std::uint32_t* count) {
    *count = 0;
    std::uint32_t jacks = 0;
    if (!kernel::succeeded(terminal.GetJackCount(&jacks, typeIndex)))
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    if (jacks == 0) return kernel::STATUS_SUCCESS;
    CPoolBuffer block(kernel::PoolType::NonPagedNx, std::size_t{jacks} * sizeof(JackDescription),
                      TerminalRecordsTag);
    if (!block.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::memset(block.Get(), 0, block.Size());
    const kernel::NTSTATUS status = terminal.GetJackDescriptions(
        static_cast<std::uint32_t>(block.Size()), block.Get(), typeIndex);
    if (!kernel::succeeded(status)) return status;
    *records = std::move(block);
    *count = jacks;
    return kernel::STATUS_SUCCESS;
}

} // namespace

kernel::NTSTATUS CUacJackControl::GetJackCount(std::uint32_t* count, std::uint32_t typeIndex) {
    CMutexLockScope scope(m_JackLock);
    return CTerminalItem::GetJackCount(count, typeIndex);
}

kernel::NTSTATUS CUacJackControl::GetJackDescriptions(std::uint32_t bytes, void* buffer,
                                                      std::uint32_t typeIndex) {
    CMutexLockScope scope(m_JackLock);
    return CTerminalItem::GetJackDescriptions(bytes, buffer, typeIndex);
}

kernel::NTSTATUS CUacJackControl::FindTerminal(kernel::IUnknown* terminal,
                                               std::uint32_t* typeCount) {
    const kernel::NTSTATUS status = FindUnitFace(terminal, IID_ITerminalInfo, &m_pTerminal);
    if (!kernel::succeeded(status)) return status;
    *typeCount = 0;
    if (!kernel::succeeded(m_pTerminal->GetEndpointTypeCount(typeCount)) || *typeCount == 0 ||
        *typeCount > MaxTerminalCodes)
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacJackControl::ReloadJacks() {
    if (m_pTerminal == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    CPoolBuffer records;
    std::uint32_t count = 0;
    const kernel::NTSTATUS status = ReadJacks(*m_pTerminal, m_ulTypeIndex, &records, &count);
    if (!kernel::succeeded(status)) return status;
    CMutexLockScope scope(m_JackLock);
    return StoreJackRecords(count, records.Get<const JackDescription>());
}

kernel::NTSTATUS CUacJackControl::ReadFromDevice() { return ReloadJacks(); }

kernel::NTSTATUS CUacInputJackControl::Bind(kernel::IUnknown* terminal,
                                            const EndpointInfoRecord& record) {
    std::uint32_t types = 0;
    kernel::NTSTATUS status = FindTerminal(terminal, &types);
    if (!kernel::succeeded(status)) return status;
    std::uint32_t code = 0;
    status = Terminal()->GetEndpointType(&code);
    if (!kernel::succeeded(status)) return status;
    status = ReloadJacks();
    if (!kernel::succeeded(status)) return status;
    StoreTerminalRecord(record);
    return StoreCodes(1, &code);
}

kernel::NTSTATUS CUacInputJackControl::ReadFromDevice() {
    if (Terminal() == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    std::uint32_t code = 0;
    kernel::NTSTATUS status = Terminal()->GetEndpointType(&code);
    if (!kernel::succeeded(status)) return status;
    status = StoreCodes(1, &code);
    if (!kernel::succeeded(status)) return status;
    return ReloadJacks();
}

kernel::NTSTATUS CUacOutputTypeControl::Bind(kernel::IUnknown* terminal,
                                             const EndpointInfoRecord& record) {
    std::uint32_t types = 0;
    kernel::NTSTATUS status = FindTerminal(terminal, &types);
    if (!kernel::succeeded(status)) return status;
    // A type index past the terminal's list has no code to show.
    if (TypeIndex() >= types) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::uint32_t codes[MaxTerminalCodes] = {};
    if (!kernel::succeeded(Terminal()->GetEndpointTypes(types, codes)))
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    status = ReloadJacks();
    if (!kernel::succeeded(status)) return status;
    StoreTerminalRecord(record);
    return StoreCodes(1, &codes[TypeIndex()]);
}
