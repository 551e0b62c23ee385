// What a device reports of itself when plug and play asks for its
// capabilities: the record a query-capabilities request carries, which every
// driver of the stack may amend on the way back up.
#pragma once

#include "platform/io/power_state.h"

#include <cstddef>
#include <cstdint>

namespace io {

namespace capability_flags {
inline constexpr std::uint32_t deviceD1 = 1u << 0;
inline constexpr std::uint32_t deviceD2 = 1u << 1;
inline constexpr std::uint32_t removable = 1u << 4;
inline constexpr std::uint32_t surpriseRemovalOk = 1u << 9; // no warning when pulled out
} // namespace capability_flags

struct DeviceCapabilities {
    std::uint16_t size;
    std::uint16_t version;
    std::uint32_t flags; // capability_flags
    std::uint32_t address;
    std::uint32_t uiNumber;
    DevicePowerState deviceState[7]; // per system state, working to shut down
    std::uint32_t systemWake;
    DevicePowerState deviceWake;
    std::uint32_t d1Latency;
    std::uint32_t d2Latency;
    std::uint32_t d3Latency;
};

static_assert(sizeof(DeviceCapabilities) == 64 && offsetof(DeviceCapabilities, flags) == 4 &&
              offsetof(DeviceCapabilities, deviceState) == 16);

} // namespace io
