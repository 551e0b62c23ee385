#include "driver/engine/audio_node.h"

#include <cstring>

kernel::NTSTATUS CAudioNode::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(CUnknown::NonDelegatingQueryInterface(id, object),
                           static_cast<IAudioNode*>(this), id, IID_IAudioNode, object);
}

kernel::NTSTATUS CAudioNode::GetIdList(std::uint32_t* count, std::uint32_t* ids) {
    if (count == nullptr || ids == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (*count > m_ulIdCount) *count = m_ulIdCount;
    if (*count != 0) std::memcpy(ids, m_IdList.Get(), *count * sizeof(std::uint32_t));
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAudioNode::SetIdList(std::uint32_t count, const std::uint32_t* ids) {
    if (ids == nullptr && count != 0) return kernel::STATUS_INVALID_PARAMETER;
    if (ids == nullptr || count == 0) {
        m_IdList = CPoolBuffer();
        m_ulIdCount = 0;
        return kernel::STATUS_SUCCESS;
    }
    CPoolBuffer copy(kernel::PoolType::Paged, std::size_t{count} * sizeof(std::uint32_t),
                     NodeIdListTag);
    if (!copy.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::memcpy(copy.Get(), ids, copy.Size());
    m_IdList = std::move(copy);
    m_ulIdCount = count;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAudioNode::SetZeroIdList(std::uint32_t count) {
    if (count == 0) return SetIdList(0, nullptr);
    CPoolBuffer table(kernel::PoolType::Paged, std::size_t{count} * sizeof(std::uint32_t),
                      NodeIdListTag);
    if (!table.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::memset(table.Get(), 0, table.Size());
    m_IdList = std::move(table);
    m_ulIdCount = count;
    return kernel::STATUS_SUCCESS;
}

std::uint32_t CAudioNode::IdAt(std::uint32_t index) const {
    return index < m_ulIdCount ? m_IdList.Get<std::uint32_t>()[index] : 0;
}
