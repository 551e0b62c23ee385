// The constant block of the processor-specific real-FFT members: twenty
// 32-bit words, 16-byte aligned. Words 0 to 7 are the 8-point twiddles as
// four cosines and four negated sines; c is 0.70710683 (0x3F3504F4), one unit
// in the last place above the float nearest to the square root of one half,
// the value the small-order kernels use. Words 8 to 19 are sign masks: lane 2
// (rotation by -i), lane 3 (rotation by +i), lanes 0 and 2.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace sigFftSimdDetail {
inline constexpr float c = std::bit_cast<float>(std::uint32_t{0x3F3504F4});
inline constexpr float sign = std::bit_cast<float>(std::uint32_t{0x80000000});
} // namespace sigFftSimdDetail

alignas(16) inline constexpr std::array<float, 20> sigFftSimdConst = {
    1.0f,
    sigFftSimdDetail::c,
    0.0f,
    -sigFftSimdDetail::c, // cosines
    0.0f,
    -sigFftSimdDetail::c,
    -1.0f,
    -sigFftSimdDetail::c, // negated sines
    0.0f,
    0.0f,
    sigFftSimdDetail::sign,
    0.0f, // lane 2
    0.0f,
    0.0f,
    0.0f,
    sigFftSimdDetail::sign, // lane 3
    sigFftSimdDetail::sign,
    0.0f,
    sigFftSimdDetail::sign,
    0.0f, // lanes 0 and 2
};
