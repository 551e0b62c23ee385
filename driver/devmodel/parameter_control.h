// The parameter control of an effect's owner: an effect-parameters item
// whose parameters are the owner's. It checks the range against its count
// and forwards each call to the owner's IEffectParameters.
#pragma once

#include "driver/engine/effect_parameters_item.h"

#include <cstdint>

class CUacParameterControl : public CEffectParametersItem {
public:
    using CEffectParametersItem::CEffectParametersItem;

    // The owner answers IEffectParameters; it outlives the control, which
    // holds it without a reference.
    void BindOwner(kernel::IUnknown* owner) { m_pOwner = owner; }

    // first + count within the count (else STATUS_INVALID_PARAMETER), then the owner's.
    kernel::NTSTATUS GetParameters(std::uint32_t first, std::uint32_t count,
                                   std::uint32_t* values) override;
    kernel::NTSTATUS SetParameters(std::uint32_t first, std::uint32_t count,
                                   const std::uint32_t* values) override;
    // An index below the count, then the owner's.
    kernel::NTSTATUS GetParameterInfo(std::uint32_t index, std::uint32_t* maximum,
                                      std::uint32_t* minimum, std::uint32_t* step) override;

protected:
    // Whether first and count name parameters of this control, without wrapping.
    bool IsParameterRange(std::uint32_t first, std::uint32_t count);

private:
    // The owner's face, with a reference; null when it has none or it is
    // this control itself (which would forward to itself for ever).
    IEffectParameters* OwnerParameters();

    kernel::IUnknown* m_pOwner = nullptr;
};
