// The byte controls of a feature unit: one byte per channel (0 off,
// non-zero on), cached, persisted per channel and channel mode, written to
// the device through the unit's IFeatureUnitSwitch. They differ in what a
// write does with the device's answer.
#pragma once

#include "driver/devmodel/feature_unit_access.h"
#include "driver/engine/on_off_item.h"
#include "platform/io/device_object.h"

#include <cstdint>

// Item kinds the chip models' own switches use.
inline constexpr std::uint32_t CachedSwitchItemType = 22;

enum class SwitchWrite {
    cacheAlways,    // the device's refusal still changes the cache and settings
    cacheOnSuccess, // a refused write changes nothing
    cacheOnly,      // no device write at all
};

class CUacSwitchControl : public COnOffItem {
public:
    CUacSwitchControl(kernel::IUnknown* outer, std::uint32_t id, std::uint32_t type,
                      SwitchWrite write)
        : COnOffItem(outer, id, type), m_Write(write) {}

    // Binds to the unit's selector: one byte per channel the unit reports,
    // each the device's value unless a persisted one replaces it.
    kernel::NTSTATUS Bind(kernel::IUnknown* unit, std::uint8_t selector,
                          io::DeviceObject* settings);

    // Writes (per the kind), caches and persists; success unless the
    // channel is out of range or the unit cannot be reached.
    kernel::NTSTATUS SetOnOff(std::uint32_t channel, std::uint8_t value) override;
    kernel::NTSTATUS ApplyToDevice() override;
    // Re-reads every channel; stops at the first failure.
    kernel::NTSTATUS ReadFromDevice() override;
    // Reloads the channels the mode exposes from their persisted values,
    // applies them and announces the change.
    kernel::NTSTATUS SetChannelMode(std::uint32_t mode, kernel::CallbackObject* callback) override;

protected:
    // One channel the host keeps for itself: the persisted byte, else 0.
    kernel::NTSTATUS BindHostValue(io::DeviceObject* settings);
    kernel::NTSTATUS Persist(std::uint32_t channel);
    // Replaces the cached byte with the persisted one when there is one.
    void LoadPersisted(std::uint32_t channel);
    std::uint8_t* Values() const { return m_Values.Get<std::uint8_t>(); }

    const SwitchWrite m_Write;
    IFeatureUnitSwitch* m_pAccess = nullptr;
    std::uint8_t m_Selector = 0;
    io::DeviceObject* m_pSettings = nullptr;
};

// A switch without a device control: one channel, the host's own value.
class CUacCachedSwitchControl : public CUacSwitchControl {
public:
    CUacCachedSwitchControl(kernel::IUnknown* outer, std::uint32_t id)
        : CUacSwitchControl(outer, id, CachedSwitchItemType, SwitchWrite::cacheOnly) {}
    kernel::NTSTATUS BindCached(io::DeviceObject* settings) { return BindHostValue(settings); }
    kernel::NTSTATUS ReadFromDevice() override { return kernel::STATUS_SUCCESS; }
};

// A switch of a fixed item kind and write rule.
template <std::uint32_t ItemType, SwitchWrite Write> class CUacSwitchOf : public CUacSwitchControl {
public:
    CUacSwitchOf(kernel::IUnknown* outer, std::uint32_t id)
        : CUacSwitchControl(outer, id, ItemType, Write) {}
};

using CUacMuteControl = CUacSwitchOf<item_type::mute, SwitchWrite::cacheAlways>;
using CUacAgcControl = CUacSwitchOf<item_type::automaticGain, SwitchWrite::cacheAlways>;
using CUacLoudnessControl = CUacSwitchOf<item_type::loudness, SwitchWrite::cacheAlways>;
using CUacVendorSwitchControl = CUacSwitchOf<item_type::onOff, SwitchWrite::cacheOnSuccess>;
