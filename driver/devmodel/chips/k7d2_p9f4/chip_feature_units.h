// The feature units of the maker's K7D2 and P9F4 chips: release-1 units
// whose volume word follows the chip's own mapping (chip_level_maps.h), one
// variant per mapping. Their switches (mute, automatic gain, loudness) are
// the unit's one master byte; tone levels are quarter-dB bytes. Which unit
// id gets which variant is the model's walk's choice.
#pragma once

#include "driver/devmodel/chips/k7d2_p9f4/chip_level_maps.h"
#include "driver/devmodel/uac1_feature_unit.h"

#include <cstdint>
#include <span>

inline constexpr kernel::PoolTag K7D2EntityTag = kernel::poolTag("K7D2");
inline constexpr kernel::PoolTag P9F4EntityTag = kernel::poolTag("P9F4");

class CChipFeatureUnit : public CUac1FeatureUnit {
public:
    CChipFeatureUnit(kernel::IUnknown* outer, const ChipLevelMap& map, kernel::PoolTag tag)
        : CUac1FeatureUnit(outer), m_Map(map), m_Tag(tag) {}

    // Checks and copies the descriptor and creates the controls; the chip
    // has no vendor control map to read.
    kernel::NTSTATUS Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                           CAudioHal* hal);
    kernel::NTSTATUS CreateControls(CAudioHal* hal) override;

    // Switches: the master byte (channel 0) only, one channel.
    kernel::NTSTATUS GetByte(std::uint8_t selector, std::uint32_t channel,
                             std::uint8_t* value) override;
    kernel::NTSTATUS SetByte(std::uint8_t selector, std::uint32_t channel,
                             std::uint8_t value) override;
    kernel::NTSTATUS GetChannelCount(std::uint8_t selector, std::uint32_t* count) override;

    kernel::NTSTATUS GetValue(std::uint8_t selector, std::uint32_t channel,
                              std::int32_t* value) override;
    kernel::NTSTATUS SetValue(std::uint8_t selector, std::uint32_t channel,
                              std::int32_t value) override;
    // Volume: the variant's fixed range, no request. Tone: the device's.
    kernel::NTSTATUS GetRange(std::uint8_t selector, std::int32_t* maximum, std::int32_t* minimum,
                              std::int32_t* resolution) override;

private:
    kernel::NTSTATUS Send(bool in, std::uint8_t request, std::uint8_t selector,
                          std::uint8_t channel, void* buffer, std::uint32_t length);

    const ChipLevelMap& m_Map;
    const kernel::PoolTag m_Tag;
};

template <const ChipLevelMap& Map, kernel::PoolTag Tag>
class CChipFeatureUnitOf : public CChipFeatureUnit {
public:
    explicit CChipFeatureUnitOf(kernel::IUnknown* outer) : CChipFeatureUnit(outer, Map, Tag) {}
};

class CK7D2FeatureUnit1 : public CChipFeatureUnitOf<chip_level::k7d2Table, K7D2EntityTag> {
    using CChipFeatureUnitOf::CChipFeatureUnitOf;
};
class CK7D2FeatureUnit2 : public CChipFeatureUnitOf<chip_level::k7d2Boost, K7D2EntityTag> {
    using CChipFeatureUnitOf::CChipFeatureUnitOf;
};
class CK7D2FeatureUnit3 : public CChipFeatureUnitOf<chip_level::k7d2Gain, K7D2EntityTag> {
    using CChipFeatureUnitOf::CChipFeatureUnitOf;
};
class CP9F4FeatureUnit1 : public CChipFeatureUnitOf<chip_level::p9f4Attenuator, P9F4EntityTag> {
    using CChipFeatureUnitOf::CChipFeatureUnitOf;
};
class CP9F4FeatureUnit2 : public CChipFeatureUnitOf<chip_level::p9f4Trim, P9F4EntityTag> {
    using CChipFeatureUnitOf::CChipFeatureUnitOf;
};
class CP9F4FeatureUnit3 : public CChipFeatureUnitOf<chip_level::p9f4Gain, P9F4EntityTag> {
    using CChipFeatureUnitOf::CChipFeatureUnitOf;
};
