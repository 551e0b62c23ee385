// Device power states and the power request functions, as power requests
// carry them.
#pragma once

#include <cstdint>

namespace io {

enum class DevicePowerState : std::uint32_t {
    Unspecified = 0,
    D0 = 1, // working
    D1 = 2,
    D2 = 3,
    D3 = 4, // off
};

enum class PowerStateType : std::uint32_t {
    System = 0,
    Device = 1,
};

// Minor functions of major::Power.
namespace minorPower {
inline constexpr std::uint8_t SetPower = 0x02;
} // namespace minorPower

} // namespace io
