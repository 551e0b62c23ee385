#include "driver/common/list.h"

#include "platform/kernel/interlocked.h"

CList::~CList() {
    while (m_pHead != nullptr) RemoveAt(m_pHead);
}

CListNode* CList::LinkNew(CListNode* previous, CListNode* next, void* data) {
    auto* node = new (kernel::PoolType::NonPagedNx, ListNodeTag) CListNode(data, previous, next);
    if (node == nullptr) return nullptr;
    (previous != nullptr ? previous->m_pNext : m_pHead) = node;
    (next != nullptr ? next->m_pPrev : m_pTail) = node;
    kernel::interlockedIncrement(m_lCount);
    return node;
}

CListNode* CList::AddTail(void* data) { return LinkNew(m_pTail, nullptr, data); }

CListNode* CList::AddHead(void* data) { return LinkNew(nullptr, m_pHead, data); }

// The head has no predecessor, so inserting before it is adding at the head.
CListNode* CList::InsertBefore(CListNode* position, void* data) {
    if (position == nullptr) return AddHead(data);
    return LinkNew(position->m_pPrev, position, data);
}

void CList::RemoveAt(CListNode* node) {
    if (node == nullptr) return;
    (node->m_pPrev != nullptr ? node->m_pPrev->m_pNext : m_pHead) = node->m_pNext;
    (node->m_pNext != nullptr ? node->m_pNext->m_pPrev : m_pTail) = node->m_pPrev;
    delete node;
    kernel::interlockedDecrement(m_lCount);
}

bool CList::RemoveHead(void** data) {
    if (data == nullptr || m_pHead == nullptr) return false;
    *data = m_pHead->m_pData;
    RemoveAt(m_pHead);
    return true;
}

bool CList::GetData(CListNode* node, void** data) const {
    if (node == nullptr || data == nullptr) return false;
    *data = node->m_pData;
    return true;
}

bool CList::GetNext(CListNode*& position, void** data) const {
    if (position == nullptr || data == nullptr) return false;
    *data = position->m_pData;
    position = position->m_pNext;
    return true;
}

bool CList::GetAt(std::uint32_t index, void** data) const {
    if (data == nullptr || m_pHead == nullptr || index >= static_cast<std::uint32_t>(GetCount()))
        return false;
    CListNode* node = m_pHead;
    for (std::uint32_t i = 0; i < index && node != nullptr; ++i) node = node->m_pNext;
    if (node == nullptr) return false;
    *data = node->m_pData;
    return true;
}

bool CList::GetHeadData(void** data) const {
    if (data == nullptr) return false;
    *data = m_pHead != nullptr ? m_pHead->m_pData : nullptr;
    return m_pHead != nullptr;
}

bool CList::GetTailData(void** data) const {
    if (data == nullptr) return false;
    *data = m_pTail != nullptr ? m_pTail->m_pData : nullptr;
    return m_pTail != nullptr;
}

std::int32_t CList::GetCount() const { return kernel::interlockedRead(m_lCount); }
