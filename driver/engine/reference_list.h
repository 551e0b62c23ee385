// A list of interface pointers that holds one reference per entry: appending
// adds one, freeing the list releases each. The list itself is allocated
// from the pool on demand, so "no list" is a state its owner can report.
#pragma once

#include "driver/common/list.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/status.h"

#include <cstdint>

template <class Interface> class CReferenceList {
public:
    CReferenceList() = default;
    ~CReferenceList() { Free(); }
    CReferenceList(const CReferenceList&) = delete;
    CReferenceList& operator=(const CReferenceList&) = delete;

    // An empty list under the tag, unless there is one already.
    kernel::NTSTATUS Create(kernel::PoolTag tag) {
        if (m_pList == nullptr) m_pList = new (kernel::PoolType::NonPagedNx, tag) CList;
        return m_pList != nullptr ? kernel::STATUS_SUCCESS : kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    bool Exists() const { return m_pList != nullptr; }

    // Releases every entry and frees the list.
    void Free() {
        if (m_pList == nullptr) return;
        void* data = nullptr;
        while (m_pList->RemoveHead(&data)) static_cast<Interface*>(data)->Release();
        delete m_pList;
        m_pList = nullptr;
    }

    // Adds a reference and appends; the reference is dropped again when the
    // node cannot be had. The list must exist.
    kernel::NTSTATUS Append(Interface* entry) {
        if (entry == nullptr) return kernel::STATUS_INVALID_PARAMETER;
        if (m_pList == nullptr) return kernel::STATUS_UNSUCCESSFUL;
        entry->AddRef();
        if (m_pList->AddTail(entry) != nullptr) return kernel::STATUS_SUCCESS;
        entry->Release();
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }

    // Appends, creating the list under the tag first when there is none.
    kernel::NTSTATUS CreateAndAppend(Interface* entry, kernel::PoolTag tag) {
        if (entry == nullptr) return kernel::STATUS_INVALID_PARAMETER;
        const kernel::NTSTATUS status = Create(tag);
        return kernel::succeeded(status) ? Append(entry) : status;
    }

    std::uint32_t Count() const {
        return m_pList != nullptr ? static_cast<std::uint32_t>(m_pList->GetCount()) : 0;
    }

    // The entry at the index without a reference added; null beyond the end.
    Interface* At(std::uint32_t index) const {
        void* data = nullptr;
        if (m_pList == nullptr || !m_pList->GetAt(index, &data)) return nullptr;
        return static_cast<Interface*>(data);
    }

    // The entry at the index without a reference added: no list
    // STATUS_UNSUCCESSFUL, an index at or beyond the count
    // STATUS_INVALID_PARAMETER, both with a null entry.
    kernel::NTSTATUS GetAt(std::uint32_t index, Interface** entry) const {
        if (entry == nullptr) return kernel::STATUS_INVALID_PARAMETER;
        *entry = nullptr;
        if (m_pList == nullptr) return kernel::STATUS_UNSUCCESSFUL;
        *entry = At(index);
        return *entry != nullptr ? kernel::STATUS_SUCCESS : kernel::STATUS_INVALID_PARAMETER;
    }

    // Calls visit for every entry in list order and stops at the first
    // failure, returning it.
    template <class Visit> kernel::NTSTATUS ForEachUntilFailure(Visit visit) const {
        if (m_pList == nullptr) return kernel::STATUS_SUCCESS;
        CListNode* position = m_pList->GetHead();
        void* data = nullptr;
        while (m_pList->GetNext(position, &data)) {
            const kernel::NTSTATUS status = visit(static_cast<Interface*>(data));
            if (!kernel::succeeded(status)) return status;
        }
        return kernel::STATUS_SUCCESS;
    }

private:
    CList* m_pList = nullptr;
};
