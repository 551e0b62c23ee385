// A DSP node for tests and benchmarks: it runs its owner's function on
// Process and lives until its last reference is dropped, so a chain may
// outlive the test's own handle on it.
#pragma once

#include "driver/common/dsp_node.h"

#include <functional>
#include <string>
#include <utility>

class CFunctionDspNode final : public IDspNode {
public:
    using ProcessFunction =
        std::function<kernel::NTSTATUS(const ks::WaveFormatExtensible*, void*, std::uint32_t)>;

    explicit CFunctionDspNode(ProcessFunction process) : m_Process(std::move(process)) {}
    CFunctionDspNode(const CFunctionDspNode&) = delete;
    CFunctionDspNode& operator=(const CFunctionDspNode&) = delete;

    kernel::NTSTATUS QueryInterface(const kernel::Guid& id, void** object) override {
        if (id != IID_IDspNode && id != kernel::IID_IUnknown) {
            *object = nullptr;
            return kernel::STATUS_INVALID_PARAMETER;
        }
        AddRef();
        *object = this;
        return kernel::STATUS_SUCCESS;
    }
    std::uint32_t AddRef() override { return ++m_References; }
    std::uint32_t Release() override {
        if (m_OnRelease) m_OnRelease();
        const std::uint32_t left = --m_References;
        if (left == 0) delete this;
        return left;
    }

    kernel::NTSTATUS GetParameter(const kernel::Guid&, void*, std::uint32_t) override {
        return kernel::STATUS_NOT_SUPPORTED;
    }
    kernel::NTSTATUS SetParameter(const kernel::Guid&, const void*, std::uint32_t) override {
        return kernel::STATUS_NOT_SUPPORTED;
    }
    kernel::NTSTATUS SetFormat(const ks::WaveFormatExtensible*) override {
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS Reset() override { return kernel::STATUS_SUCCESS; }
    kernel::NTSTATUS Process(const ks::WaveFormatExtensible* format, void* data,
                             std::uint32_t frames) override {
        return m_Process(format, data, frames);
    }
    kernel::NTSTATUS Flush() override { return kernel::STATUS_SUCCESS; }

    std::uint32_t References() const { return m_References; }
    void OnRelease(std::function<void()> probe) { m_OnRelease = std::move(probe); }

private:
    ~CFunctionDspNode() = default;

    ProcessFunction m_Process;
    std::function<void()> m_OnRelease;
    std::uint32_t m_References = 1;
};

// A test's own reference to a new node; it converts to the node's interface.
class CTestDspNode {
public:
    explicit CTestDspNode(CFunctionDspNode::ProcessFunction process)
        : m_pNode(new CFunctionDspNode(std::move(process))) {}
    ~CTestDspNode() { m_pNode->Release(); }
    CTestDspNode(const CTestDspNode&) = delete;
    CTestDspNode& operator=(const CTestDspNode&) = delete;

    operator IDspNode*() const { return m_pNode; }
    // The references held besides the test's own.
    std::uint32_t OtherReferences() const { return m_pNode->References() - 1; }
    // Runs on every Release, the test's own included.
    void OnRelease(std::function<void()> probe) { m_pNode->OnRelease(std::move(probe)); }

private:
    CFunctionDspNode* m_pNode;
};

// A test's node that appends its name to `order` on every Process.
class CNamedDspNode : public CTestDspNode {
public:
    CNamedDspNode(std::string& order, char name)
        : CTestDspNode([&order, name](const ks::WaveFormatExtensible*, void*, std::uint32_t) {
              order.push_back(name);
              return kernel::STATUS_SUCCESS;
          }) {}
};
