// A little-endian signed integer sample of `bytes` (1 to 8) as a fraction of
// full scale, in [-1, 1): how the host reads back what the device received.
#pragma once

#include <cstdint>

namespace driverhost {

inline double SampleFraction(const std::uint8_t* at, std::uint32_t bytes) {
    std::int64_t value = 0;
    for (std::uint32_t b = 0; b < bytes; ++b) value |= std::int64_t{at[b]} << (8 * b);
    const std::int64_t sign = std::int64_t{1} << (8 * bytes - 1);
    if ((value & sign) != 0) value -= sign << 1;
    return static_cast<double>(value) / static_cast<double>(sign);
}

} // namespace driverhost
