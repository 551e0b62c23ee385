#include "driver/engine/terminal_item.h"

#include <algorithm>
#include <cstring>

kernel::NTSTATUS CTerminalItem::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(CAudioNode::NonDelegatingQueryInterface(id, object),
                           static_cast<ITerminalInfo*>(this), id, IID_ITerminalInfo, object);
}

kernel::NTSTATUS CTerminalItem::GetEndpointType(std::uint32_t* code) {
    return ReportValue(m_Codes.Current(), code);
}

kernel::NTSTATUS CTerminalItem::GetEndpointTypeCount(std::uint32_t* count) {
    return ReportValue(m_Codes.Count(), count);
}

kernel::NTSTATUS CTerminalItem::GetEndpointTypes(std::uint32_t room, std::uint32_t* codes) {
    return m_Codes.Copy(room, codes);
}

kernel::NTSTATUS CTerminalItem::SelectEndpointType(std::uint32_t code) {
    return m_Codes.Select(code);
}

kernel::NTSTATUS CTerminalItem::GetJackCount(std::uint32_t* count, std::uint32_t) {
    return ReportValue(m_ulJackCount, count);
}

kernel::NTSTATUS CTerminalItem::GetJackDescriptions(std::uint32_t bytes, void* buffer,
                                                    std::uint32_t) {
    if (buffer == nullptr || bytes == 0 || m_ulJackCount == 0)
        return kernel::STATUS_INVALID_PARAMETER;
    std::memcpy(buffer, m_Jacks.Get(), std::min<std::size_t>(bytes, m_Jacks.Size()));
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CTerminalItem::GetTerminalRecord(EndpointInfoRecord* record) {
    return ReportValue(m_Record, record);
}

kernel::NTSTATUS CTerminalItem::StoreJackRecords(std::uint32_t count,
                                                 const JackDescription* records) {
    if (count != 0 && records == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    CPoolBuffer copy;
    if (count != 0) {
        copy = CPoolBuffer(kernel::PoolType::NonPagedNx, std::size_t{count} * sizeof *records,
                           TerminalStoreTag);
        if (!copy.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
        std::memcpy(copy.Get(), records, copy.Size());
    }
    m_Jacks = std::move(copy);
    m_ulJackCount = count;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CTerminalItem::StoreStereoMixDefault() {
    constexpr std::uint32_t stereoMixCode = 16;
    constexpr JackDescription stereoMixJack = {3, 0, 7, 14, 1, 1, 0, 1, 0};
    const kernel::NTSTATUS status = StoreJackRecords(1, &stereoMixJack);
    if (!kernel::succeeded(status)) return status;
    return StoreCodes(1, &stereoMixCode);
}
