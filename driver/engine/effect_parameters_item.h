// The effect-parameters item: a 16-byte identifier and a parameter count set
// by its owner. The parameters themselves are the owner's (a derived class
// overrides the three parameter operations); this item refuses them.
#pragma once

#include "driver/engine/audio_node.h"

#include <cstdint>

class IEffectParameters : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS GetIdentifier(kernel::Guid* identifier) = 0;
    virtual kernel::NTSTATUS GetParameterCount(std::uint32_t* count) = 0;
    virtual kernel::NTSTATUS GetParameters(std::uint32_t first, std::uint32_t count,
                                           std::uint32_t* values) = 0;
    virtual kernel::NTSTATUS SetParameters(std::uint32_t first, std::uint32_t count,
                                           const std::uint32_t* values) = 0;
    // Three words describing one parameter.
    virtual kernel::NTSTATUS GetParameterInfo(std::uint32_t index, std::uint32_t* first,
                                              std::uint32_t* second, std::uint32_t* third) = 0;
    // The source id becomes the one-entry id list.
    virtual kernel::NTSTATUS SetUpParameters(std::uint32_t sourceId) = 0;

protected:
    ~IEffectParameters() = default;
};

class CEffectParametersItem : public CForwardingUnknown<CAudioNode, IEffectParameters> {
public:
    CEffectParametersItem(kernel::IUnknown* outer, std::uint32_t id, const kernel::Guid& identifier,
                          std::uint32_t parameterCount)
        : CForwardingUnknown(outer, id, item_type::effectParameters), m_Identifier(identifier),
          m_ulParameterCount(parameterCount) {}

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    kernel::NTSTATUS GetIdentifier(kernel::Guid* identifier) override {
        return ReportValue(m_Identifier, identifier);
    }
    kernel::NTSTATUS GetParameterCount(std::uint32_t* count) override {
        return ReportValue(m_ulParameterCount, count);
    }
    kernel::NTSTATUS GetParameters(std::uint32_t, std::uint32_t, std::uint32_t*) override {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    kernel::NTSTATUS SetParameters(std::uint32_t, std::uint32_t, const std::uint32_t*) override {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    kernel::NTSTATUS GetParameterInfo(std::uint32_t, std::uint32_t*, std::uint32_t*,
                                      std::uint32_t*) override {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    kernel::NTSTATUS SetUpParameters(std::uint32_t sourceId) override {
        return SetSingleId(sourceId);
    }

private:
    const kernel::Guid m_Identifier;
    const std::uint32_t m_ulParameterCount;
};
