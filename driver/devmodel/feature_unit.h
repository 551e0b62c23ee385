// What the feature units of both releases share: the entity that answers its
// controls' access interfaces and creates one control per selector it has,
// in a fixed order, with consecutive node ids from the HAL's child count.
// Each control joins the HAL's child list and the unit's item list; the
// last one created is the unit's input side, mute its output side.
#pragma once

#include "driver/devmodel/feature_unit_access.h"
#include "driver/devmodel/uac_entity.h"

#include <cstdint>
#include <span>

// Control selectors as the feature units' controls know them.
namespace feature_selector {
inline constexpr std::uint8_t mute = 1;
inline constexpr std::uint8_t volume = 2;
inline constexpr std::uint8_t bass = 3;
inline constexpr std::uint8_t mid = 4;
inline constexpr std::uint8_t treble = 5;
inline constexpr std::uint8_t automaticGain = 7;
inline constexpr std::uint8_t loudness = 10;
inline constexpr std::uint8_t gainPad = 12;
inline constexpr std::uint8_t softVolume = 130;
inline constexpr std::uint8_t vendorSwitch = 144;
} // namespace feature_selector

class CFeatureUnit : public CForwardingUnknown<CUacEntity, IFeatureUnitSwitch, IFeatureUnitLevel> {
public:
    using CForwardingUnknown::CForwardingUnknown;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // Whether the unit's descriptors give it the control.
    virtual bool HasControl(std::uint8_t selector) = 0;

protected:
    // Creates the controls of the selectors the unit has, in the order given;
    // the pool tag is the release's. No mute control: nothing is created.
    kernel::NTSTATUS CreateFeatureControls(CAudioHal& hal, std::span<const std::uint8_t> order,
                                           kernel::PoolTag tag);
};
