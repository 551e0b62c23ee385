// Running sums of filter outputs packed two to a register of doubles. Each
// lane keeps its own sum, added in the order a scalar loop would, so the
// packing changes no result.
#pragma once

#include <cstring>

using sigDoubleLanes = double __attribute__((vector_size(16)));

// Four consecutive floats, widened exactly to double, as two pairs.
inline void sigWidenQuad(const float* p, sigDoubleLanes& low, sigDoubleLanes& high) {
    using FloatQuad = float __attribute__((vector_size(16)));
    using DoubleQuad = double __attribute__((vector_size(32)));
    FloatQuad quad;
    std::memcpy(&quad, p, sizeof quad);
    const DoubleQuad wide = __builtin_convertvector(quad, DoubleQuad);
    low = sigDoubleLanes{wide[0], wide[1]};
    high = sigDoubleLanes{wide[2], wide[3]};
}
