#include "sigproc/fft/bit_reverse_tiled.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

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
    for (Index mid = 0; mid < (Index{1} << middleBits); ++mid) {
        const Index partner = reversed(mid, middleBits);
        if (partner < mid) continue;
        // This tile moves through a copy; the partner's goes straight to its place.
        alignas(64) float copy[2 * kTile * kTile];
        copyTile(data, mid * kTile, rowStride, copy);
        if (partner != mid)
            moveTile(data, partner * kTile, rowStride, data, mid * kTile, rowStride);
        moveTile(copy, 0, kTile, data, partner * kTile, rowStride);
    }
}

void sigFftBitRevTiledCopy_32fc(const float* src, float* dst, int m) {
    const int middleBits = m - 2 * kTileBits;
    const Index rowStride = Index{1} << (m - kTileBits);
    for (Index mid = 0; mid < (Index{1} << middleBits); ++mid) {
        moveTile(src, mid * kTile, rowStride, dst, reversed(mid, middleBits) * kTile, rowStride);
    }
}
