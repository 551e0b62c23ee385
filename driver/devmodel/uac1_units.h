// The release-1 selector and mixer units: their sources are the
// descriptor's baSourceID list (bNrInPins at byte 4), and each has one
// control item, a selector or a mixer input table.
#pragma once

#include "driver/devmodel/selector_unit.h"
#include "driver/devmodel/uac1_feature_unit.h"

#include <cstdint>
#include <span>

inline constexpr SelectorProtocol Uac1SelectorProtocol = {
    usb::AudioRelease::uac1, 5, 0x81, 0x01, 0, Uac1EntityTag};

class CUac1SelectorUnit : public CSelectorUnit {
public:
    explicit CUac1SelectorUnit(kernel::IUnknown* outer)
        : CSelectorUnit(outer, Uac1SelectorProtocol) {}
};

class CUac1MixerUnit : public CUacEntity {
public:
    using CUacEntity::CUacEntity;
    kernel::NTSTATUS Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                           CAudioHal* hal);
    kernel::NTSTATUS CreateControls(CAudioHal* hal) override;
};
