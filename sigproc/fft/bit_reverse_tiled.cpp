#include "sigproc/fft/bit_reverse_tiled.h"

#include "sigproc/core/wide_isa.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <immintrin.h>

namespace {

using Index = std::ptrdiff_t;
constexpr int kTileBits = 3;
constexpr Index kTile = Index{1} << kTileBits;
constexpr int kReversed[kTile] = {0, 4, 2, 6, 1, 5, 3, 7};

Index reversed(Index v, int bits) {
    Index r = 0;
    for (int b = 0; b < bits; ++b, v >>= 1) r = (r << 1) | (v & 1);
    return r;
}

// Moves the tile whose first index is from (runs srcStride apart) to the tile
// whose first index is to (runs dstStride apart): run o receives value rev(o)
// of every run of the source, in the order of the runs' reversals. The two
// tiles do not overlap.
void moveTile(const float* src, Index from, Index srcStride, float* dst, Index to,
              Index dstStride) {
    for (Index o = 0; o < kTile; ++o) {
        std::uint64_t run[kTile];
        for (Index k = 0; k < kTile; ++k) {
            std::memcpy(&run[k], src + 2 * (kReversed[k] * srcStride + from + kReversed[o]),
                        sizeof run[k]);
        }
        std::memcpy(dst + 2 * (o * dstStride + to), run, sizeof run);
    }
}

// Columns j of four rows of four values: out[j] = (a[0][j], ..., a[3][j]).
SIG_TARGET_AVX2 inline void transposeFour(const __m256d (&a)[4], __m256d (&out)[4]) {
    const __m256d t0 = _mm256_unpacklo_pd(a[0], a[1]), t1 = _mm256_unpackhi_pd(a[0], a[1]);
    const __m256d t2 = _mm256_unpacklo_pd(a[2], a[3]), t3 = _mm256_unpackhi_pd(a[2], a[3]);
    out[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
    out[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
    out[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
    out[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
}

// moveTile in AVX2 registers, each (re, im) value one 64-bit lane: the source
// runs are loaded in the order of their reversals, the 8 x 8 values
// transposed, and column c stored as run rev(c). The values move unchanged.
SIG_TARGET_AVX2 void moveTileWide(const float* src, Index from, Index srcStride, float* dst,
                                  Index to, Index dstStride) {
    __m256d rows[2][2][4]; // [row half][column half][row]
    for (Index k = 0; k < kTile; ++k) {
        const float* at = src + 2 * (kReversed[k] * srcStride + from);
        rows[k / 4][0][k % 4] = _mm256_castps_pd(_mm256_loadu_ps(at));
        rows[k / 4][1][k % 4] = _mm256_castps_pd(_mm256_loadu_ps(at + 8));
    }
    for (int columnHalf = 0; columnHalf < 2; ++columnHalf) {
        __m256d upper[4], lower[4]; // runs 0-3 and 4-7 of four columns
        transposeFour(rows[0][columnHalf], upper);
        transposeFour(rows[1][columnHalf], lower);
        for (int j = 0; j < 4; ++j) {
            float* run = dst + 2 * (kReversed[4 * columnHalf + j] * dstStride + to);
            _mm256_storeu_ps(run, _mm256_castpd_ps(upper[j]));
            _mm256_storeu_ps(run + 8, _mm256_castpd_ps(lower[j]));
        }
    }
}

void moveTileWith(bool wide, const float* src, Index from, Index srcStride, float* dst, Index to,
                  Index dstStride) {
    if (wide) {
        moveTileWide(src, from, srcStride, dst, to, dstStride);
    } else {
        moveTile(src, from, srcStride, dst, to, dstStride);
    }
}

// The tile whose first index is from, into a copy of kTile runs of kTile.
void copyTile(const float* data, Index from, Index rowStride, float* copy) {
    for (Index h = 0; h < kTile; ++h) {
        std::memcpy(copy + 2 * kTile * h, data + 2 * (h * rowStride + from),
                    2 * kTile * sizeof(float));
    }
}

} // namespace

void sigFftBitRevTiledInPlace_32fc(float* data, int m) {
    const int middleBits = m - 2 * kTileBits;
    const Index rowStride = Index{1} << (m - kTileBits);
    const bool wide = sigWideIsaOfMachine() != sigWideIsa::baseline;
    for (Index mid = 0; mid < (Index{1} << middleBits); ++mid) {
        const Index partner = reversed(mid, middleBits);
        if (partner < mid) continue;
        // This tile moves through a copy; the partner's goes straight to its place.
        alignas(64) float copy[2 * kTile * kTile];
        copyTile(data, mid * kTile, rowStride, copy);
        if (partner != mid)
            moveTileWith(wide, data, partner * kTile, rowStride, data, mid * kTile, rowStride);
        moveTileWith(wide, copy, 0, kTile, data, partner * kTile, rowStride);
    }
}

void sigFftBitRevTiledCopy_32fc(const float* src, float* dst, int m) {
    const int middleBits = m - 2 * kTileBits;
    const Index rowStride = Index{1} << (m - kTileBits);
    const bool wide = sigWideIsaOfMachine() != sigWideIsa::baseline;
    for (Index mid = 0; mid < (Index{1} << middleBits); ++mid) {
        moveTileWith(wide, src, mid * kTile, rowStride, dst, reversed(mid, middleBits) * kTile,
                     rowStride);
    }
}
