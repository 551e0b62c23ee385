// Bit-level views of floats for tests that must be exact.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace testkit {

inline std::uint32_t bitsOf(float f) { return std::bit_cast<std::uint32_t>(f); }
inline float floatOf(std::uint32_t bits) { return std::bit_cast<float>(bits); }
inline std::uint64_t bitsOf(double d) { return std::bit_cast<std::uint64_t>(d); }

// The NaN the library writes when it creates one.
inline constexpr std::uint32_t kCreatedNanBits = 0xFFC00000u;

inline constexpr float kInfinity = std::numeric_limits<float>::infinity();
// A positive quiet NaN, as inputs to operations.
inline constexpr float kQuietNan = std::bit_cast<float>(0x7FC00000u);

// Distance in units in the last place, counting across zero (+0 and -0 are 0
// apart). A NaN on either side gives the largest distance.
inline std::uint64_t ulpDistance(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return std::numeric_limits<std::uint64_t>::max();
    auto ordered = [](float f) -> std::int64_t {
        const std::int32_t i = std::bit_cast<std::int32_t>(f);
        return i < 0 ? -static_cast<std::int64_t>(i & 0x7FFFFFFF) : i;
    };
    const std::int64_t d = ordered(a) - ordered(b);
    return static_cast<std::uint64_t>(d < 0 ? -d : d);
}

} // namespace testkit
