// How a feature unit's controls reach the device: byte controls (mute,
// automatic gain, loudness, vendor switches) and level controls (volume,
// tone, gain pad) by control selector and logical channel (0 is the first
// channel that has the control; the unit maps it to the device's channel).
// Levels are signed 32-bit values in 1/65536 dB; MinusInfinity is silence.
#pragma once

#include "driver/common/interface_ids.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

#include <cstdint>

inline constexpr std::int32_t MinusInfinity = INT32_MIN;

class IFeatureUnitSwitch : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS GetByte(std::uint8_t selector, std::uint32_t channel,
                                     std::uint8_t* value) = 0;
    virtual kernel::NTSTATUS SetByte(std::uint8_t selector, std::uint32_t channel,
                                     std::uint8_t value) = 0;
    virtual kernel::NTSTATUS GetChannelCount(std::uint8_t selector, std::uint32_t* count) = 0;

protected:
    ~IFeatureUnitSwitch() = default;
};

class IFeatureUnitLevel : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS GetValue(std::uint8_t selector, std::uint32_t channel,
                                      std::int32_t* value) = 0;
    virtual kernel::NTSTATUS SetValue(std::uint8_t selector, std::uint32_t channel,
                                      std::int32_t value) = 0;
    virtual kernel::NTSTATUS GetRange(std::uint8_t selector, std::int32_t* maximum,
                                      std::int32_t* minimum, std::int32_t* resolution) = 0;
    virtual kernel::NTSTATUS GetChannelCount(std::uint8_t selector, std::uint32_t* count) = 0;

protected:
    ~IFeatureUnitLevel() = default;
};
