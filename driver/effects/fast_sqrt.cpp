#include "driver/effects/fast_sqrt.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

namespace {

constexpr int Segments = 32;
constexpr int FractionBits = 18;
constexpr std::uint32_t MantissaMask = 0x7FFFFFu;
constexpr std::uint32_t FractionMask = (1u << FractionBits) - 1u;
constexpr int ExponentBias = 127;
constexpr float RootTwo = 1.4142135f;
// Subnormal arguments are scaled by 2^24 first and the root by 2^-12 after.
constexpr float SubnormalScale = 16777216.0f;
constexpr float SubnormalRootScale = 1.0f / 4096.0f;

const std::array<float, Segments + 1>& RootTable() {
    static const std::array<float, Segments + 1> table = [] {
        std::array<float, Segments + 1> t{};
        for (int k = 0; k <= Segments; ++k)
            t[k] = static_cast<float>(std::sqrt(1.0 + double(k) / Segments));
        return t;
    }();
    return table;
}

float NormalRoot(float x) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
    const int exponent = static_cast<int>(bits >> 23) - ExponentBias;
    const std::uint32_t mantissa = bits & MantissaMask;
    const std::uint32_t segment = mantissa >> FractionBits;
    const float f = static_cast<float>(mantissa & FractionMask) * (1.0f / (1u << FractionBits));
    const auto& s = RootTable();
    const float root = s[segment] * (1.0f - f) + s[segment + 1] * f; // in [1, sqrt 2]
    const int halved = exponent >> 1;                                // rounds toward minus infinity
    const std::uint32_t rootBits = std::bit_cast<std::uint32_t>(root) & MantissaMask;
    float result =
        std::bit_cast<float>((static_cast<std::uint32_t>(halved + ExponentBias) << 23) | rootBits);
    if ((exponent & 1) != 0) result *= RootTwo;
    return result;
}

} // namespace

float FastSqrt(float x) {
    if (!(x > 0.0f)) return 0.0f;
    if (std::isinf(x)) return x;
    if (std::fpclassify(x) == FP_SUBNORMAL)
        return NormalRoot(x * SubnormalScale) * SubnormalRootScale;
    return NormalRoot(x);
}
