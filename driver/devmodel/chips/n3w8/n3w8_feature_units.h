// The N3W8 model's feature units. The chip counts the volume of each unit
// in its own steps (n3w8_volume_scales.h): the analog-through units and the
// record units by a scale, the playback unit by a table of measured steps;
// the mix unit as the class says. Some units replace their mute or volume
// control by one that also acts on the stream (n3w8_control_nodes.h), and
// the playback unit lights the mute LED. Which unit id and product gets
// which class is the model's walk's choice.
#pragma once

#include "driver/common/mutex_lock.h"
#include "driver/devmodel/chips/n3w8/n3w8_entity_context.h"
#include "driver/devmodel/chips/n3w8/n3w8_forced_mute.h"
#include "driver/devmodel/uac1_feature_unit.h"

#include <cstdint>
#include <span>

// How a unit's volume values map to the driver's levels.
enum class N3W8VolumeMap {
    Plain,  // as every release-1 unit
    Analog, // x3/2 below zero, x3 above
    Record, // x3/8 below zero, x3 above
    Table,  // the measured steps
};

class CN3W8FeatureUnit : public CUac1FeatureUnit {
public:
    CN3W8FeatureUnit(kernel::IUnknown* outer, N3W8VolumeMap map)
        : CUac1FeatureUnit(outer), m_Map(map) {}

    // Keeps the chip's registers, then parses as a release-1 unit.
    kernel::NTSTATUS Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                           CAudioHal* hal, const N3W8EntityContext& context);

    // The volume (selector 2) through the unit's map; every other level as
    // a release-1 unit reads and writes it. Silence stays silence.
    kernel::NTSTATUS GetValue(std::uint8_t selector, std::uint32_t channel,
                              std::int32_t* value) override;
    kernel::NTSTATUS SetValue(std::uint8_t selector, std::uint32_t channel,
                              std::int32_t value) override;
    // The volume's range from the device's minimum and maximum (GET_MIN,
    // GET_MAX), mapped, with the map's own resolution.
    kernel::NTSTATUS GetRange(std::uint8_t selector, std::int32_t* maximum, std::int32_t* minimum,
                              std::int32_t* resolution) override;

protected:
    IChipRegisters* Registers() const { return m_pRegisters; }

private:
    bool Mapped(std::uint8_t selector) const;
    kernel::NTSTATUS ReadRangeWord(std::uint8_t request, std::int16_t* word);

    const N3W8VolumeMap m_Map;
    IChipRegisters* m_pRegisters = nullptr;
};

class CN3W8AnalogFeatureUnit : public CN3W8FeatureUnit {
public:
    explicit CN3W8AnalogFeatureUnit(kernel::IUnknown* outer)
        : CN3W8FeatureUnit(outer, N3W8VolumeMap::Analog) {}
};

class CN3W8RecordFeatureUnit : public CN3W8FeatureUnit {
public:
    explicit CN3W8RecordFeatureUnit(kernel::IUnknown* outer)
        : CN3W8FeatureUnit(outer, N3W8VolumeMap::Record) {}
};

// A record unit whose mute only the host applies: the stream is silenced
// in software and the device is never told.
class CN3W8RecordFeatureUnitSoft : public CN3W8RecordFeatureUnit {
public:
    using CN3W8RecordFeatureUnit::CN3W8RecordFeatureUnit;

protected:
    kernel::NTSTATUS CreateControl(std::uint8_t selector, std::uint32_t nodeId, kernel::PoolTag tag,
                                   io::DeviceObject* settings, IAudioNode** control) override;
};

// A record unit with the LED switch as its last item.
class CN3W8RecordFeatureUnitLed : public CN3W8RecordFeatureUnit {
public:
    using CN3W8RecordFeatureUnit::CN3W8RecordFeatureUnit;
    kernel::NTSTATUS CreateControls(CAudioHal* hal) override;
};

// The mix unit: its mute also silences its stream.
class CN3W8MixFeatureUnit : public CN3W8FeatureUnit {
public:
    explicit CN3W8MixFeatureUnit(kernel::IUnknown* outer)
        : CN3W8FeatureUnit(outer, N3W8VolumeMap::Plain) {}

protected:
    kernel::NTSTATUS CreateControl(std::uint8_t selector, std::uint32_t nodeId, kernel::PoolTag tag,
                                   io::DeviceObject* settings, IAudioNode** control) override;
};

// The playback unit: volume by the table, mute and volume that also act on
// the stream, and the mute LED. With "NeedMuteLED" set, every mute the
// device took sets the LED bits of register 1: lit (0x30) while muted, or,
// with "ReverseMuteLED" 1, while not muted; dark 0x10.
class CN3W8MuteLedFeatureUnit : public CN3W8FeatureUnit {
public:
    explicit CN3W8MuteLedFeatureUnit(kernel::IUnknown* outer)
        : CN3W8FeatureUnit(outer, N3W8VolumeMap::Table) {}

    // Reads the LED settings, then parses as every N3W8 unit.
    kernel::NTSTATUS Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                           CAudioHal* hal, const N3W8EntityContext& context);
    kernel::NTSTATUS SetByte(std::uint8_t selector, std::uint32_t channel,
                             std::uint8_t value) override;

protected:
    kernel::NTSTATUS CreateControl(std::uint8_t selector, std::uint32_t nodeId, kernel::PoolTag tag,
                                   io::DeviceObject* settings, IAudioNode** control) override;

private:
    bool m_bNeedMuteLed = false;
    bool m_bReverseMuteLed = false;
};

// The analog unit whose mute the model's worker can force on: the device
// receives the mute last asked for OR-ed with the forced flag. While the
// mute is forced, what the device reports is not taken as the user's own
// choice, which the unit keeps and reports instead.
class CN3W8ForcedMuteFeatureUnit
    : public CForwardingUnknown<CN3W8AnalogFeatureUnit, IN3W8ForcedMute> {
public:
    using CForwardingUnknown::CForwardingUnknown;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    kernel::NTSTATUS GetByte(std::uint8_t selector, std::uint32_t channel,
                             std::uint8_t* value) override;
    kernel::NTSTATUS SetByte(std::uint8_t selector, std::uint32_t channel,
                             std::uint8_t value) override;
    // Called by the worker while property requests may set the mute: one
    // lock keeps the request, the flag and what the device was sent in step.
    kernel::NTSTATUS SetForcedMute(bool forced) override;

private:
    kernel::NTSTATUS SendMute();

    CMutexLock m_Lock;
    std::uint32_t m_ulChannel = 0; // of the last request
    std::uint8_t m_Requested = 0;  // the user's mute, as last set or read
    bool m_bForced = false;
};
