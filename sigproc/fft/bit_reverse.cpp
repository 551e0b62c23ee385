#include "sigproc/fft/bit_reverse.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// A complex value moves as one 64-bit word: half the loads and stores of two
// floats, and its bits unchanged.
inline void swapComplex(float* data, std::ptrdiff_t a, std::ptrdiff_t b) {
    std::uint64_t x, y;
    std::memcpy(&x, data + a, sizeof x);
    std::memcpy(&y, data + b, sizeof y);
    std::memcpy(data + a, &y, sizeof y);
    std::memcpy(data + b, &x, sizeof x);
}

inline void copyComplex(const float* src, float* dst, std::ptrdiff_t to, std::ptrdiff_t from) {
    std::memcpy(dst + to, src + from, 2 * sizeof(float));
}

} // namespace

void sigFftBuildPairTable(std::int32_t* table, int q) {
    const std::int32_t b = std::int32_t{1} << (q - 2);
    std::int32_t pairEnd = 0;
    std::int32_t singleStart = b;
    std::int32_t r = 0;
    for (std::int32_t k = 1; k < b; ++k) {
        // r counts in bit-reversed order over q - 2 bits.
        std::int32_t e = b / 2;
        while (e <= r) {
            r -= e;
            e /= 2;
        }
        r += e;
        if (k < r) {
            table[pairEnd++] = 4 * k;
            table[pairEnd++] = 4 * r;
        } else if (k == r) {
            table[--singleStart] = 4 * k;
        }
    }
    table[pairEnd] = 0;
    table[b] = 0;
}

void sigFftBitRevInPlace_32fc(float* data, int q, const std::int32_t* pairs) {
    // Float offset of the element in the upper half with the same low bits.
    const std::ptrdiff_t half = std::ptrdiff_t{1} << q;
    sigFftForEachPairEntry(
        pairs,
        [&](std::ptrdiff_t k, std::ptrdiff_t r) {
            swapComplex(data, k, r);
            swapComplex(data, k + 2, r + half);
            swapComplex(data, k + half, r + 2);
            swapComplex(data, k + half + 2, r + half + 2);
        },
        [&](std::ptrdiff_t k) { swapComplex(data, k + 2, k + half); });
}

void sigFftBitRevCopy_32fc(const float* src, float* dst, int q, const std::int32_t* pairs) {
    const std::ptrdiff_t half = std::ptrdiff_t{1} << q;
    sigFftForEachPairEntry(
        pairs,
        [&](std::ptrdiff_t k, std::ptrdiff_t r) {
            copyComplex(src, dst, k, r);
            copyComplex(src, dst, r, k);
            copyComplex(src, dst, k + 2, r + half);
            copyComplex(src, dst, r + half, k + 2);
            copyComplex(src, dst, k + half, r + 2);
            copyComplex(src, dst, r + 2, k + half);
            copyComplex(src, dst, k + half + 2, r + half + 2);
            copyComplex(src, dst, r + half + 2, k + half + 2);
        },
        [&](std::ptrdiff_t k) {
            copyComplex(src, dst, k, k);
            copyComplex(src, dst, k + 2, k + half);
            copyComplex(src, dst, k + half, k + 2);
            copyComplex(src, dst, k + half + 2, k + half + 2);
        });
}
