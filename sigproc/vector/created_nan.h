// The NaN an operation writes where it creates one rather than passing an
// input NaN on: sign and quiet bit set, no payload, the same pattern the
// processor gives for an invalid operation.
#pragma once

#include <bit>
#include <cstdint>

inline constexpr std::uint32_t sigCreatedNanBits = 0xFFC00000u;
inline constexpr float sigCreatedNan = std::bit_cast<float>(sigCreatedNanBits);
