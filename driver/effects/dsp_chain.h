// One chain of DSP nodes: an ordered list of nodes, each held by one
// reference of the chain's own. The chain takes no lock; its owner decides
// which lock guards it.
#pragma once

#include "driver/common/dsp_node.h"
#include "driver/common/list.h"

#include <cstdint>

class CDspChain {
public:
    CDspChain() = default;
    ~CDspChain() { ReleaseAll(); }
    CDspChain(const CDspChain&) = delete;
    CDspChain& operator=(const CDspChain&) = delete;

    // Adds a reference and appends the node. STATUS_INVALID_PARAMETER for a
    // null node; STATUS_INSUFFICIENT_RESOURCES, with the reference dropped
    // again, when the list cannot take it.
    kernel::NTSTATUS Add(IDspNode* node);

    // Unlinks the node (found by identity) and hands back the chain's
    // reference for the caller to drop; null when it is not in the chain.
    IDspNode* Unlink(IDspNode* node);
    // Unlinks the head node and hands back its reference; null when empty.
    IDspNode* UnlinkHead();
    // Drops every node's reference, head first.
    void ReleaseAll();

    std::int32_t GetCount() const { return m_List.GetCount(); }

    // Every node's Process, head first, until one returns a negative status;
    // that status or the last node's; 0 for an empty chain.
    kernel::NTSTATUS Run(const ks::WaveFormatExtensible* format, void* data,
                         std::uint32_t frames) const;
    // Every node's SetFormat, head first, until one fails; that status or
    // success.
    kernel::NTSTATUS SetFormatAll(const ks::WaveFormatExtensible* format) const;
    // Every node's Flush, head first.
    void FlushAll() const;

private:
    CList m_List;
};
