#include "driver/engine/format_list.h"

#include <cstring>

namespace {

// The bytes of an extensible format beyond the basic 18.
constexpr std::uint32_t ExtensibleExtraBytes =
    sizeof(ks::WaveFormatExtensible) - sizeof(ks::WaveFormatEx);

std::uint16_t SubFormatTag(const ks::WaveFormatExtensible& record) {
    std::uint16_t tag = 0;
    std::memcpy(&tag, &record.SubFormat, sizeof tag);
    return tag;
}

} // namespace

bool RecordMatchesBasicFormat(const ks::WaveFormatExtensible& record,
                              const ks::WaveFormatEx& format) {
    return record.Format.nChannels == format.nChannels &&
           record.Format.nSamplesPerSec == format.nSamplesPerSec &&
           record.Format.wBitsPerSample == format.wBitsPerSample &&
           SubFormatTag(record) == format.wFormatTag;
}

kernel::NTSTATUS CFormatList::Create() {
    if (m_pList == nullptr) m_pList = new (kernel::PoolType::NonPagedNx, m_Tag) CList;
    return m_pList != nullptr ? kernel::STATUS_SUCCESS : kernel::STATUS_INSUFFICIENT_RESOURCES;
}

void CFormatList::Free() {
    if (m_pList == nullptr) return;
    void* data = nullptr;
    while (m_pList->RemoveHead(&data)) kernel::freePoolWithTag(data, m_Tag);
    delete m_pList;
    m_pList = nullptr;
}

kernel::NTSTATUS CFormatList::Append(const ks::WaveFormatExtensible& record) {
    if (m_pList == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    void* copy = kernel::allocatePool(kernel::PoolType::NonPagedNx, sizeof record, m_Tag);
    if (copy == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::memcpy(copy, &record, sizeof record);
    if (m_pList->AddTail(copy) == nullptr) {
        kernel::freePoolWithTag(copy, m_Tag);
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    return kernel::STATUS_SUCCESS;
}

std::uint32_t CFormatList::Count() const {
    return m_pList != nullptr ? static_cast<std::uint32_t>(m_pList->GetCount()) : 0;
}

kernel::NTSTATUS CFormatList::Get(std::uint32_t index, ks::WaveFormatExtensible* record) const {
    if (record == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (m_pList == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    if (index >= Count()) return kernel::STATUS_INVALID_PARAMETER;
    void* data = nullptr;
    if (!m_pList->GetAt(index, &data) || data == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    std::memcpy(record, data, sizeof *record);
    return kernel::STATUS_SUCCESS;
}

template <class Match> const ks::WaveFormatExtensible* CFormatList::FindFirst(Match match) const {
    if (m_pList == nullptr) return nullptr;
    CListNode* position = m_pList->GetHead();
    void* data = nullptr;
    while (m_pList->GetNext(position, &data)) {
        const auto* record = static_cast<const ks::WaveFormatExtensible*>(data);
        if (match(*record)) return record;
    }
    return nullptr;
}

kernel::NTSTATUS CFormatList::Check(ks::WaveFormatEx* format) const {
    if (format == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (format->wFormatTag == ks::format_tag::extensible) {
        // A format that claims more extra bytes than a record holds matches
        // none; nothing beyond the record is read.
        if (format->cbSize > ExtensibleExtraBytes) return kernel::STATUS_NO_MATCH;
        const std::size_t bytes = sizeof(ks::WaveFormatEx) + format->cbSize;
        const bool found = FindFirst([&](const ks::WaveFormatExtensible& record) {
                               return std::memcmp(&record, format, bytes) == 0;
                           }) != nullptr;
        return found ? kernel::STATUS_SUCCESS : kernel::STATUS_NO_MATCH;
    }
    const ks::WaveFormatExtensible* found = FindFirst([&](const ks::WaveFormatExtensible& record) {
        return RecordMatchesBasicFormat(record, *format);
    });
    if (found == nullptr) return kernel::STATUS_NO_MATCH;
    format->wFormatTag = SubFormatTag(*found);
    format->nChannels = found->Format.nChannels;
    format->nSamplesPerSec = found->Format.nSamplesPerSec;
    format->nAvgBytesPerSec = found->Format.nAvgBytesPerSec;
    format->nBlockAlign = found->Format.nBlockAlign;
    format->wBitsPerSample = found->Format.wBitsPerSample;
    format->cbSize = 0;
    return kernel::STATUS_SUCCESS;
}

std::uint32_t CFormatList::RemoveTag(std::uint16_t tag) {
    if (m_pList == nullptr) return 0;
    std::uint32_t removed = 0;
    CListNode* node = m_pList->GetHead();
    while (node != nullptr) {
        CListNode* next = node->m_pNext;
        auto* record = static_cast<ks::WaveFormatExtensible*>(node->m_pData);
        if (record != nullptr && ks::effectiveFormatTag(*record) == tag) {
            m_pList->RemoveAt(node);
            kernel::freePoolWithTag(record, m_Tag);
            ++removed;
        }
        node = next;
    }
    return removed;
}
