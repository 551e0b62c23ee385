// The level controls of a feature unit: one signed value per channel in
// 1/65536 dB, clamped to the device's range, sent truncated toward zero to
// a multiple of its resolution, cached as clamped (not truncated), persisted
// per channel and channel mode. Minus infinity is cached as such; the
// volume sends it on (the unit turns it into the device's silence code), the
// others send their minimum.
#pragma once

#include "driver/devmodel/feature_unit_access.h"
#include "driver/engine/level_item.h"
#include "platform/io/device_object.h"

#include <cstdint>

enum class LevelKind {
    volume,  // silence passes through; a re-read reports whether anything changed
    tone,    // bass, mid, treble: silence sends the minimum
    gainPad, // as tone, and channel AllChannels sets every channel
};

// The gain pad's channel for "every channel".
inline constexpr std::uint32_t AllChannels = 0xFFFFFFFF;

class CUacLevelControl : public CLevelItem {
public:
    CUacLevelControl(kernel::IUnknown* outer, std::uint32_t id, std::uint32_t type, LevelKind kind)
        : CLevelItem(outer, id, type), m_Kind(kind) {}

    // Binds to the unit's selector: the range and one value per channel the
    // unit reports, each the device's unless a persisted one replaces it.
    kernel::NTSTATUS Bind(kernel::IUnknown* unit, std::uint8_t selector,
                          io::DeviceObject* settings);

    kernel::NTSTATUS GetLevel(std::uint32_t channel, std::int32_t* value) override;
    // Success whatever the device answers; the cache and settings change only
    // when it took the value.
    kernel::NTSTATUS SetLevel(std::uint32_t channel, std::int32_t value) override;
    kernel::NTSTATUS ApplyToDevice() override;
    kernel::NTSTATUS ReadFromDevice() override;
    kernel::NTSTATUS SetChannelMode(std::uint32_t mode, kernel::CallbackObject* callback) override;

    // The value a device is sent for a wanted one: clamped to the range,
    // truncated toward zero to the resolution (none for a resolution of 0);
    // minus infinity as the kind wants it.
    std::int32_t DeviceValue(std::int32_t wanted) const;

protected:
    // Sets one channel; the device's answer.
    kernel::NTSTATUS SetChannel(std::uint32_t channel, std::int32_t value);
    kernel::NTSTATUS Persist(std::uint32_t channel);
    void LoadPersisted(std::uint32_t channel);
    // Reloads the first channels from their persisted values, applies them
    // and announces the change when a callback object is given.
    void ReloadChannels(std::uint32_t channels, kernel::CallbackObject* callback);
    std::int32_t Clamp(std::int32_t value) const;
    std::int32_t* Values() const { return m_Values.Get<std::int32_t>(); }

    const LevelKind m_Kind;
    IFeatureUnitLevel* m_pAccess = nullptr;
    std::uint8_t m_Selector = 0;
    io::DeviceObject* m_pSettings = nullptr;

private:
    kernel::NTSTATUS ReadVolume();
    std::int32_t m_lMaximum = 0;
    std::int32_t m_lMinimum = 0;
    std::int32_t m_lResolution = 0;
};

template <std::uint32_t ItemType, LevelKind Kind> class CUacLevelOf : public CUacLevelControl {
public:
    CUacLevelOf(kernel::IUnknown* outer, std::uint32_t id)
        : CUacLevelControl(outer, id, ItemType, Kind) {}
};

using CUacVolumeControl = CUacLevelOf<item_type::volume, LevelKind::volume>;
using CUacBassControl = CUacLevelOf<item_type::bass, LevelKind::tone>;
using CUacMidControl = CUacLevelOf<item_type::mid, LevelKind::tone>;
using CUacTrebleControl = CUacLevelOf<item_type::treble, LevelKind::tone>;
using CUacGainPadControl = CUacLevelOf<item_type::level, LevelKind::gainPad>;
