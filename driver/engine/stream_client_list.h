// A list of a stream engine's clients: registered, open or running. The
// list neither owns nor frees its records; it reads only a record's priority
// and its registration handle. The engine guards every list with its spin
// lock.
#pragma once

#include "driver/common/list.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/status.h"

#include <cstdint>

// The head of every client record; the streaming engines add their values
// and the client's wave format after it.
struct StreamClientRecord {
    std::uint32_t Priority;
    const void* RegistrationHandle;
};

class CStreamClientList {
public:
    CStreamClientList() = default;
    ~CStreamClientList() { Free(); }
    CStreamClientList(const CStreamClientList&) = delete;
    CStreamClientList& operator=(const CStreamClientList&) = delete;

    // An empty list under the tag, unless there is one already.
    kernel::NTSTATUS Create(kernel::PoolType poolType, kernel::PoolTag tag);
    void Free();
    bool Exists() const { return m_pList != nullptr; }

    // STATUS_INSUFFICIENT_RESOURCES when the node cannot be had (or there is
    // no list), STATUS_INVALID_PARAMETER for a null record.
    kernel::NTSTATUS Append(StreamClientRecord* record);
    // Before the first record whose priority is lower than or equal to the
    // new one's (unsigned), else at the tail: the head holds the highest
    // priority and, among equals, the latest insertion.
    kernel::NTSTATUS InsertByPriority(StreamClientRecord* record);

    // By registration handle; null when none matches.
    StreamClientRecord* Find(const void* handle) const;
    // Unlinks the record found by handle and hands it back (not freed).
    StreamClientRecord* Remove(const void* handle);
    StreamClientRecord* Top() const;
    bool IsEmpty() const { return m_pList == nullptr || m_pList->IsEmpty(); }

private:
    CListNode* FindNode(const void* handle) const;

    CList* m_pList = nullptr;
};
