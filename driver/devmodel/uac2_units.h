// The release-2 mixer, extension and selector units. A mixer counts its
// sources at byte 4, an extension unit at byte 6; both have one mixer
// input-table item. The selector reaches its current input with CUR.
#pragma once

#include "driver/devmodel/selector_unit.h"
#include "driver/devmodel/uac2_feature_unit.h"

#include <cstdint>
#include <span>

inline constexpr SelectorProtocol Uac2SelectorProtocol = {
    usb::AudioRelease::uac2, 5, 0x01, 0x01, 0x0100, Uac2EntityTag};

class CUac2SelectorUnit : public CSelectorUnit {
public:
    explicit CUac2SelectorUnit(kernel::IUnknown* outer)
        : CSelectorUnit(outer, Uac2SelectorProtocol) {}
};

class CUac2MixerUnit : public CUacEntity {
public:
    using CUacEntity::CUacEntity;
    // A mixer unit's descriptor.
    kernel::NTSTATUS Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                           CAudioHal* hal);
    // An extension unit's descriptor.
    kernel::NTSTATUS ParseExtension(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                                    CAudioHal* hal);
    kernel::NTSTATUS CreateControls(CAudioHal* hal) override;
};
