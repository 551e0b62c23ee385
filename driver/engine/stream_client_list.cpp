#include "driver/engine/stream_client_list.h"

namespace {

StreamClientRecord* RecordOf(const CListNode* node) {
    return static_cast<StreamClientRecord*>(node->m_pData);
}

} // namespace

kernel::NTSTATUS CStreamClientList::Create(kernel::PoolType poolType, kernel::PoolTag tag) {
    if (m_pList == nullptr) m_pList = new (poolType, tag) CList;
    return m_pList != nullptr ? kernel::STATUS_SUCCESS : kernel::STATUS_INSUFFICIENT_RESOURCES;
}

void CStreamClientList::Free() {
    delete m_pList;
    m_pList = nullptr;
}

kernel::NTSTATUS CStreamClientList::Append(StreamClientRecord* record) {
    if (record == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (m_pList == nullptr || m_pList->AddTail(record) == nullptr)
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CStreamClientList::InsertByPriority(StreamClientRecord* record) {
    if (record == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (m_pList == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    CListNode* position = m_pList->GetHead();
    while (position != nullptr && RecordOf(position)->Priority > record->Priority)
        position = position->m_pNext;
    CListNode* added =
        position != nullptr ? m_pList->InsertBefore(position, record) : m_pList->AddTail(record);
    return added != nullptr ? kernel::STATUS_SUCCESS : kernel::STATUS_INSUFFICIENT_RESOURCES;
}

CListNode* CStreamClientList::FindNode(const void* handle) const {
    if (m_pList == nullptr) return nullptr;
    for (CListNode* node = m_pList->GetHead(); node != nullptr; node = node->m_pNext)
        if (RecordOf(node)->RegistrationHandle == handle) return node;
    return nullptr;
}

StreamClientRecord* CStreamClientList::Find(const void* handle) const {
    CListNode* node = FindNode(handle);
    return node != nullptr ? RecordOf(node) : nullptr;
}

StreamClientRecord* CStreamClientList::Remove(const void* handle) {
    CListNode* node = FindNode(handle);
    if (node == nullptr) return nullptr;
    StreamClientRecord* record = RecordOf(node);
    m_pList->RemoveAt(node);
    return record;
}

StreamClientRecord* CStreamClientList::Top() const {
    void* data = nullptr;
    if (m_pList == nullptr || !m_pList->GetHeadData(&data)) return nullptr;
    return static_cast<StreamClientRecord*>(data);
}
