#include "driver/engine/channel_item.h"

#include <cstring>

std::uint32_t ExposedChannelCount(std::uint32_t mode, std::uint32_t count) {
    switch (mode) {
    case 0:
    case 1:
    case 4:
    case 6:
        return count;
    default:
        return count < 2 ? count : 2;
    }
}

kernel::NTSTATUS CChannelItem::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(CAudioNode::NonDelegatingQueryInterface(id, object),
                           static_cast<IChannelMode*>(this), id, IID_IChannelMode, object);
}

kernel::NTSTATUS CChannelItem::ReportChannelCount(std::uint32_t* count) const {
    return ReportValue(ExposedChannelCount(m_ulMode, m_ulChannels), count);
}

kernel::NTSTATUS CChannelItem::AllocateValues(std::uint32_t sourceId, std::uint32_t channels,
                                              std::size_t valueBytes, kernel::PoolTag tag) {
    CPoolBuffer values(kernel::PoolType::NonPagedNx, (std::size_t{channels} + 1) * valueBytes, tag);
    if (!values.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    const kernel::NTSTATUS status = SetSingleId(sourceId);
    if (!kernel::succeeded(status)) return status;
    std::memset(values.Get(), 0, values.Size());
    m_Values = std::move(values);
    m_ulChannels = channels;
    return kernel::STATUS_SUCCESS;
}
