#include "driver/effects/dsp_chain.h"

kernel::NTSTATUS CDspChain::Add(IDspNode* node) {
    if (node == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    node->AddRef();
    if (m_List.AddTail(node) == nullptr) {
        node->Release();
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    return kernel::STATUS_SUCCESS;
}

IDspNode* CDspChain::Unlink(IDspNode* node) {
    for (CListNode* position = m_List.GetHead(); position != nullptr;
         position = position->m_pNext) {
        if (position->m_pData != node) continue;
        m_List.RemoveAt(position);
        return node;
    }
    return nullptr;
}

IDspNode* CDspChain::UnlinkHead() {
    void* data = nullptr;
    return m_List.RemoveHead(&data) ? static_cast<IDspNode*>(data) : nullptr;
}

void CDspChain::ReleaseAll() {
    while (IDspNode* node = UnlinkHead()) node->Release();
}

kernel::NTSTATUS CDspChain::Run(const ks::WaveFormatExtensible* format, void* data,
                                std::uint32_t frames) const {
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    CListNode* position = m_List.GetHead();
    void* payload = nullptr;
    while (m_List.GetNext(position, &payload)) {
        status = static_cast<IDspNode*>(payload)->Process(format, data, frames);
        if (status < 0) break;
    }
    return status;
}

kernel::NTSTATUS CDspChain::SetFormatAll(const ks::WaveFormatExtensible* format) const {
    CListNode* position = m_List.GetHead();
    void* payload = nullptr;
    while (m_List.GetNext(position, &payload)) {
        const kernel::NTSTATUS status = static_cast<IDspNode*>(payload)->SetFormat(format);
        if (!kernel::succeeded(status)) return status;
    }
    return kernel::STATUS_SUCCESS;
}

void CDspChain::FlushAll() const {
    CListNode* position = m_List.GetHead();
    void* payload = nullptr;
    while (m_List.GetNext(position, &payload)) static_cast<IDspNode*>(payload)->Flush();
}
