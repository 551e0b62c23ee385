// The release-1 selector and mixer units: their sources are the
// descriptor's baSourceID list (bNrInPins at byte 4), and each has one
// control item, a selector or a mixer input table.
#pragma once

#include "driver/devmodel/uac1_feature_unit.h"
#include "driver/devmodel/uac_entity.h"
#include "driver/devmodel/unit_faces.h"

#include <cstdint>
#include <span>

class CUac1SelectorUnit : public CForwardingUnknown<CUacEntity, ISelectorUnit> {
public:
    using CForwardingUnknown::CForwardingUnknown;
    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    kernel::NTSTATUS Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                           CAudioHal* hal);
    kernel::NTSTATUS CreateControls(CAudioHal* hal) override;

    kernel::NTSTATUS GetCurrentInput(std::uint32_t* input) override;
    // Inputs 1 to bNrInPins.
    kernel::NTSTATUS SetCurrentInput(std::uint32_t input) override;
    kernel::NTSTATUS GetInputCount(std::uint32_t* count) override;
};

class CUac1MixerUnit : public CUacEntity {
public:
    using CUacEntity::CUacEntity;
    kernel::NTSTATUS Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                           CAudioHal* hal);
    kernel::NTSTATUS CreateControls(CAudioHal* hal) override;
};
