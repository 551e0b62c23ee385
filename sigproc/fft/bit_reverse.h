// Bit-reversal permutation of 2^q complex values, driven by a pair table.
//
// The pair table of order q (q >= 2, b = 2^(q-2)) has b + 1 words. With r the
// reversal of k over q - 2 bits: for k = 1 .. b-1 with k < r, the pair
// (4k, 4r); then 0; then 4k for every self-reversed k >= 1, in descending
// order; then a final 0. A word 4k is the float offset of complex element 2k,
// and one entry moves the four elements whose index is 2k or 2k+1 in the low
// bit and 0 or 1 in the top bit, so the permutation touches only the even
// indices below 2^(q-1).
#pragma once

#include <cstddef>
#include <cstdint>

// Writes the pair table of order q (b + 1 words).
void sigFftBuildPairTable(std::int32_t* table, int q);

// Walks a pair table in its order: onPair(4k, 4r) for every pair, then
// onSingle(4k) for every single entry, the first being the 0 that ends the
// pairs, which stands for k = 0. Every other entry is at least 4, so a word
// below 2 ends a list.
template <typename OnPair, typename OnSingle>
inline void sigFftForEachPairEntry(const std::int32_t* pairs, OnPair onPair, OnSingle onSingle) {
    const std::int32_t* entry = pairs;
    for (; entry[0] >= 2; entry += 2) onPair(std::ptrdiff_t{entry[0]}, std::ptrdiff_t{entry[1]});
    do {
        onSingle(std::ptrdiff_t{*entry++});
    } while (*entry >= 2);
}

// Complex values are (re, im) float pairs.
void sigFftBitRevInPlace_32fc(float* data, int q, const std::int32_t* pairs);
// The same permutation while copying; src is left unchanged and must not overlap dst.
void sigFftBitRevCopy_32fc(const float* src, float* dst, int q, const std::int32_t* pairs);
