// The driver's one list: doubly linked, holding untyped payload pointers. It
// takes no lock; each owner guards its lists with a lock of its own choice.
// The count changes only by interlocked operations, so an owner may read it
// without its lock. The list never adds or drops references on payloads and
// never frees them.
#pragma once

#include "driver/common/pool_object.h"

#include <cstdint>

// Nodes are allocated one at a time, non-paged, with this tag ("Lis" and a zero byte).
inline constexpr kernel::PoolTag ListNodeTag = kernel::poolTag("Lis");

struct CListNode : CPoolObject {
    CListNode(void* data, CListNode* previous, CListNode* next)
        : m_pNext(next), m_pPrev(previous), m_pData(data) {}

    CListNode* m_pNext;
    CListNode* m_pPrev;
    void* m_pData;
};

class CList : public CPoolObject {
public:
    CList() = default;
    ~CList(); // frees the nodes still linked, never their payloads
    CList(const CList&) = delete;
    CList& operator=(const CList&) = delete;

    // The new node, or null when it cannot be allocated (the list is unchanged).
    CListNode* AddTail(void* data);
    CListNode* AddHead(void* data);
    // Before the position; at the head when the position is null or the head.
    CListNode* InsertBefore(CListNode* position, void* data);

    // Unlinks and frees the node (null is ignored).
    void RemoveAt(CListNode* node);
    // False when data is null or the list is empty.
    bool RemoveHead(void** data);

    CListNode* GetHead() const { return m_pHead; }
    // False for a null node or null data.
    bool GetData(CListNode* node, void** data) const;
    // Stores the payload at the position and moves the position on; false
    // (nothing moved) when the position or data is null.
    bool GetNext(CListNode*& position, void** data) const;
    // Walks from the head; false without touching data when the index is at
    // or beyond the count.
    bool GetAt(std::uint32_t index, void** data) const;
    // False when data is null; false with data set to null when empty.
    bool GetHeadData(void** data) const;
    bool GetTailData(void** data) const;

    bool IsEmpty() const { return GetCount() == 0; }
    std::int32_t GetCount() const;

private:
    // A new node between two neighbours (null at an end), or null when the
    // pool refuses it.
    CListNode* LinkNew(CListNode* previous, CListNode* next, void* data);

    CListNode* m_pHead = nullptr;
    CListNode* m_pTail = nullptr;
    std::int32_t m_lCount = 0;
};
