// The vendor effect control item: a 16-byte record naming the effect, an
// enable byte and a parameter count. The owner that reaches the device
// overrides the operations; this item keeps the values and refuses the
// parameters themselves. The enable byte is guarded by the item's lock.
#pragma once

#include "driver/common/mutex_lock.h"
#include "driver/engine/audio_node.h"

#include <cstdint>

class IEffectRecord : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS GetRecordIdentifier(kernel::Guid* identifier) = 0;
    virtual kernel::NTSTATUS SetEnable(std::uint8_t enable) = 0;
    virtual kernel::NTSTATUS GetEnable(std::uint8_t* enable) = 0;
    virtual kernel::NTSTATUS GetRecordParameterCount(std::uint32_t* count) = 0;
    virtual kernel::NTSTATUS GetRecordParameters(std::uint32_t first, std::uint32_t count,
                                                 std::uint32_t* values) = 0;
    virtual kernel::NTSTATUS SetRecordParameters(std::uint32_t first, std::uint32_t count,
                                                 const std::uint32_t* values) = 0;
    virtual kernel::NTSTATUS GetRecordParameterInfo(std::uint32_t index, std::uint32_t* first,
                                                    std::uint32_t* second,
                                                    std::uint32_t* third) = 0;
    // The record, its parameter count and the source id (the one-entry id list).
    virtual kernel::NTSTATUS SetUpRecord(const kernel::Guid& identifier,
                                         std::uint32_t parameterCount, std::uint32_t sourceId) = 0;

protected:
    ~IEffectRecord() = default;
};

class CEffectRecordItem : public CForwardingUnknown<CAudioNode, IEffectRecord> {
public:
    CEffectRecordItem(kernel::IUnknown* outer, std::uint32_t id)
        : CForwardingUnknown(outer, id, item_type::effectRecord) {}

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    kernel::NTSTATUS GetRecordIdentifier(kernel::Guid* identifier) override {
        return ReportValue(m_Identifier, identifier);
    }
    kernel::NTSTATUS SetEnable(std::uint8_t enable) override;
    kernel::NTSTATUS GetEnable(std::uint8_t* enable) override;
    kernel::NTSTATUS GetRecordParameterCount(std::uint32_t* count) override {
        return ReportValue(m_ulParameterCount, count);
    }
    kernel::NTSTATUS GetRecordParameters(std::uint32_t, std::uint32_t, std::uint32_t*) override {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    kernel::NTSTATUS SetRecordParameters(std::uint32_t, std::uint32_t,
                                         const std::uint32_t*) override {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    kernel::NTSTATUS GetRecordParameterInfo(std::uint32_t, std::uint32_t*, std::uint32_t*,
                                            std::uint32_t*) override {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    kernel::NTSTATUS SetUpRecord(const kernel::Guid& identifier, std::uint32_t parameterCount,
                                 std::uint32_t sourceId) override;

protected:
    CMutexLock m_Lock;

private:
    kernel::Guid m_Identifier = {};
    std::uint32_t m_ulParameterCount = 0;
    std::uint8_t m_bEnable = 0;
};
