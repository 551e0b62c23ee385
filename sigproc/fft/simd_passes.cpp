#include "sigproc/fft/simd_passes.h"

#include "sigproc/fft/real_split.h"
#include "sigproc/fft/simd_const.h"
#include "sigproc/fft/simd_kernels.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/fill.h"

#include <cstring>
#include <utility>

namespace {

constexpr int kTileBits = 6; // tiles of 64 x 64 values
constexpr std::ptrdiff_t kTileSide = std::ptrdiff_t{1} << kTileBits;
constexpr std::ptrdiff_t kTileValues = kTileSide * kTileSide;

std::uint32_t reverseBits(std::uint32_t value, int bits) {
    std::uint32_t reversed = 0;
    for (int b = 0; b < bits; ++b) reversed |= ((value >> b) & 1u) << (bits - 1 - b);
    return reversed;
}

// The first pass, then the remaining passes; the result goes to out.
// `first(s0, s1, target, interleaved)` computes the 16-point transforms of
// groups s0 .. s1-1 into target; `firstAll(target)` all of them in the order
// that reads the source best. With blocks, the first pass runs per block when
// its source is the block itself, over the whole array before them otherwise.
template <bool Inverse, typename First, typename FirstAll>
void runPasses(First first, FirstAll firstAll, bool firstPerBlock, float* target, float* out,
               std::ptrdiff_t n, const float* tw, std::ptrdiff_t blockValues, bool interleaved) {
    if (n == 16) {
        first(0, 1, out, interleaved);
        return;
    }
    std::ptrdiff_t span = 16;
    if (blockValues > 0 && n > blockValues) {
        if (!firstPerBlock) firstAll(target);
        // Each block is carried as far as it holds whole sub-transforms, in cache.
        for (std::ptrdiff_t start = 0; start < n; start += blockValues) {
            if (firstPerBlock) first(start / 16, (start + blockValues) / 16, target, false);
            float* block = target + 2 * start;
            std::ptrdiff_t s = 16;
            for (; 4 * s <= blockValues; s *= 4) {
                sigFftRadix4Pass<Inverse>(block, block, s, blockValues / (4 * s),
                                          tw + sigFftSimdSectionOf(s), false);
            }
            span = s;
        }
    } else {
        firstAll(target);
    }
    for (; 4 * span <= n; span *= 4) {
        const bool last = 4 * span == n;
        sigFftRadix4Pass<Inverse>(target, last ? out : target, span, n / (4 * span),
                                  tw + sigFftSimdSectionOf(span), last && interleaved);
    }
    if (2 * span == n) {
        sigFftRadix2Pass<Inverse>(target, out, span, 1, tw + sigFftSimdSectionOf(span) + 8, 24,
                                  interleaved);
    }
}

struct Complex {
    float re, im;
};

// The 4-point transform of a[0..3], natural order.
template <bool Inverse> void dft4(const Complex* a, Complex* y) {
    const Complex t0{a[0].re + a[2].re, a[0].im + a[2].im};
    const Complex t1{a[0].re - a[2].re, a[0].im - a[2].im};
    const Complex t2{a[1].re + a[3].re, a[1].im + a[3].im};
    const Complex t3{a[1].re - a[3].re, a[1].im - a[3].im};
    y[0] = {t0.re + t2.re, t0.im + t2.im};
    y[2] = {t0.re - t2.re, t0.im - t2.im};
    const Complex minusI{t1.re + t3.im, t1.im - t3.re};
    const Complex plusI{t1.re - t3.im, t1.im + t3.re};
    y[1] = Inverse ? plusI : minusI;
    y[3] = Inverse ? minusI : plusI;
}

// Eight values straight from src in natural order: one radix-2 step by
// decimation in frequency with the 8-point twiddles of the constant block,
// then a 4-point transform of each half.
template <bool Inverse> void transform8(const float* src, float* dst) {
    const __m128 a0 = _mm_loadu_ps(src), a1 = _mm_loadu_ps(src + 4);
    const __m128 b0 = _mm_loadu_ps(src + 8), b1 = _mm_loadu_ps(src + 12);
    const sigQuad lo{_mm_shuffle_ps(a0, a1, _MM_SHUFFLE(2, 0, 2, 0)),
                     _mm_shuffle_ps(a0, a1, _MM_SHUFFLE(3, 1, 3, 1))};
    const sigQuad hi{_mm_shuffle_ps(b0, b1, _MM_SHUFFLE(2, 0, 2, 0)),
                     _mm_shuffle_ps(b0, b1, _MM_SHUFFLE(3, 1, 3, 1))};
    const sigQuad sum = lo + hi;
    const sigQuad difference = sigQuadTwiddle<Inverse>(lo - hi, sigFftSimdConst.data());
    alignas(16) float lanes[4][4];
    _mm_store_ps(lanes[0], sum.re);
    _mm_store_ps(lanes[1], sum.im);
    _mm_store_ps(lanes[2], difference.re);
    _mm_store_ps(lanes[3], difference.im);
    Complex even[4], odd[4], evenOut[4], oddOut[4];
    for (int j = 0; j < 4; ++j) {
        even[j] = {lanes[0][j], lanes[1][j]};
        odd[j] = {lanes[2][j], lanes[3][j]};
    }
    dft4<Inverse>(even, evenOut);
    dft4<Inverse>(odd, oddOut);
    for (int q = 0; q < 4; ++q) {
        dst[4 * q] = evenOut[q].re;
        dst[4 * q + 1] = evenOut[q].im;
        dst[4 * q + 2] = oddOut[q].re;
        dst[4 * q + 3] = oddOut[q].im;
    }
}

template <bool Inverse>
void direct(const float* src, float* dst, std::ptrdiff_t n, const float* tw,
            const std::int32_t* groupRev, float* work, std::ptrdiff_t blockValues) {
    if (n == 8) return transform8<Inverse>(src, dst);
    // Every group gathers from the whole source: in place, the groups go to
    // the work area first.
    float* target = src == dst ? work : dst;
    const std::ptrdiff_t quarterStride = n / 16;
    auto first = [&](std::ptrdiff_t s0, std::ptrdiff_t s1, float* out, bool interleaved) {
        for (std::ptrdiff_t s = s0; s < s1; ++s) {
            const std::ptrdiff_t base = groupRev[s];
            sigFftFirst16<Inverse>(
                src, [&](int u) { return base + u * quarterStride; }, tw, out + 32 * s,
                interleaved);
        }
    };
    // Group s reads 16 streams at the bit reversal of s: taken in the order of
    // that reversal (the table is its own inverse), the streams advance one
    // value per group and each cache line serves eight groups in a row.
    auto firstAll = [&](float* out) {
        for (std::ptrdiff_t t = 0; t < n / 16; ++t) {
            const std::ptrdiff_t s = groupRev[t];
            sigFftFirst16<Inverse>(
                src, [&](int u) { return t + u * quarterStride; }, tw, out + 32 * s, false);
        }
    };
    runPasses<Inverse>(first, firstAll, false, target, dst, n, tw, blockValues, true);
}

// In bit-reversed order the 16 values of group s are the reversed order of
// the group's own 16-point input.
constexpr std::int32_t kReverse4[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};

template <bool Inverse>
void passes(float* data, std::ptrdiff_t n, const float* tw, bool interleaved,
            std::ptrdiff_t blockValues) {
    auto first = [&](std::ptrdiff_t s0, std::ptrdiff_t s1, float* out, bool interleavedOut) {
        for (std::ptrdiff_t s = s0; s < s1; ++s) {
            const std::ptrdiff_t base = 16 * s;
            sigFftFirst16<Inverse>(
                data, [&](int u) { return base + kReverse4[u]; }, tw, out + 32 * s, interleavedOut);
        }
    };
    auto firstAll = [&](float* out) { first(0, n / 16, out, false); };
    runPasses<Inverse>(first, firstAll, true, data, data, n, tw, blockValues, interleaved);
}

// ---- bit reversal

std::int64_t pairListWords(int q) { return 1 + 2 * ((std::int64_t{1} << q) / 2); }

void buildPairList(std::int32_t* list, int q) {
    std::int32_t count = 0;
    for (std::uint32_t i = 0; i < (1u << q); ++i) {
        const std::uint32_t j = reverseBits(i, q);
        if (i < j) {
            list[1 + 2 * count] = static_cast<std::int32_t>(i);
            list[2 + 2 * count] = static_cast<std::int32_t>(j);
            ++count;
        }
    }
    list[0] = count;
}

void permuteByPairs(float* data, const std::int32_t* list) {
    const std::int32_t count = list[0];
    for (std::int32_t p = 0; p < count; ++p) {
        float* a = data + 2 * std::ptrdiff_t{list[1 + 2 * p]};
        float* b = data + 2 * std::ptrdiff_t{list[2 + 2 * p]};
        std::swap(a[0], b[0]);
        std::swap(a[1], b[1]);
    }
}

// The data as 64 rows of n/64 values; the tile at column c is 64 values of
// each row.
struct TileView {
    std::ptrdiff_t rowStride;

    void gather(const float* data, std::ptrdiff_t column, float* tile) const {
        for (std::ptrdiff_t row = 0; row < kTileSide; ++row) {
            std::memcpy(tile + 2 * kTileSide * row, data + 2 * (row * rowStride + column),
                        sizeof(float) * 2 * kTileSide);
        }
    }
    void scatter(const float* tile, float* data, std::ptrdiff_t column) const {
        for (std::ptrdiff_t row = 0; row < kTileSide; ++row) {
            std::memcpy(data + 2 * (row * rowStride + column), tile + 2 * kTileSide * row,
                        sizeof(float) * 2 * kTileSide);
        }
    }
};

} // namespace

int sigCopyBytesChecked_8u(const void* src, void* dst, std::int64_t bytes) {
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (bytes <= 0) return sigErrLength;
    sigCopyBytes_8u(src, dst, bytes);
    return sigOk;
}

std::ptrdiff_t sigFftSimdSectionOf(std::ptrdiff_t span) {
    std::ptrdiff_t offset = 24;
    for (std::ptrdiff_t s = 16; s < span; s *= 4) offset += 6 * s;
    return offset;
}

std::int64_t sigFftSimdTwiddleFloats(int maxM) {
    if (maxM < 4) return 0;
    // Sections up to half the length: the final radix-2 pass reads the middle
    // twiddle of the section of its own span.
    const std::int64_t half = std::int64_t{1} << (maxM - 1);
    std::int64_t span = 16;
    while (span <= half) span *= 4;
    return sigFftSimdSectionOf(span);
}

void sigFftSimdDirectFwd_32fc(const float* src, float* dst, std::ptrdiff_t n, const float* twiddles,
                              const std::int32_t* bitRev, float* work, std::ptrdiff_t blockValues) {
    direct<false>(src, dst, n, twiddles, bitRev, work, blockValues);
}

void sigFftSimdDirectInv_32fc(const float* src, float* dst, std::ptrdiff_t n, const float* twiddles,
                              const std::int32_t* bitRev, float* work, std::ptrdiff_t blockValues) {
    direct<true>(src, dst, n, twiddles, bitRev, work, blockValues);
}

void sigFftSimdPassesFwd_32fc(float* data, std::ptrdiff_t n, const float* twiddles,
                              bool interleaved, std::ptrdiff_t blockValues) {
    passes<false>(data, n, twiddles, interleaved, blockValues);
}

void sigFftSimdPassesInv_32fc(float* data, std::ptrdiff_t n, const float* twiddles,
                              bool interleaved, std::ptrdiff_t blockValues) {
    passes<true>(data, n, twiddles, interleaved, blockValues);
}

std::int64_t sigFftSimdGroupRevWords(int m) { return m < 4 ? 0 : std::int64_t{1} << (m - 4); }

void sigFftSimdBuildGroupRev(std::int32_t* table, int m) {
    for (std::uint32_t s = 0; s < (1u << (m - 4)); ++s)
        table[s] = static_cast<std::int32_t>(reverseBits(s, m - 4));
}

std::int64_t sigFftSimdBitRevWords(int m) {
    if (m < 2 * kTileBits) return pairListWords(m);
    return (std::int64_t{1} << (m - 2 * kTileBits)) + pairListWords(2 * kTileBits);
}

void sigFftSimdBuildBitRev(std::int32_t* table, int m) {
    if (m < 2 * kTileBits) return buildPairList(table, m);
    const int midBits = m - 2 * kTileBits;
    const std::uint32_t tiles = 1u << midBits;
    for (std::uint32_t i = 0; i < tiles; ++i)
        table[i] = static_cast<std::int32_t>(reverseBits(i, midBits) * kTileSide);
    buildPairList(table + tiles, 2 * kTileBits);
}

// Index bits [row | tile | column] reverse to [rev column | rev tile | rev row]:
// the tile at column c moves to its partner's place, and inside it value
// (row, column) to (rev column, rev row), the 12-bit reversal of its place.
void sigFftSimdBitRevInPlace_32fc(float* data, int m, const std::int32_t* bitRev, float* work) {
    if (m < 2 * kTileBits) return permuteByPairs(data, bitRev);
    const std::ptrdiff_t tiles = std::ptrdiff_t{1} << (m - 2 * kTileBits);
    const std::int32_t* tilePairs = bitRev + tiles;
    const TileView view{(std::ptrdiff_t{1} << m) / kTileSide};
    float* first = work;
    float* second = work + 2 * kTileValues;
    for (std::ptrdiff_t i = 0; i < tiles; ++i) {
        const std::ptrdiff_t column = kTileSide * i;
        const std::ptrdiff_t partner = bitRev[i];
        if (column > partner) continue; // exchanged from the partner's end
        view.gather(data, column, first);
        permuteByPairs(first, tilePairs);
        if (column == partner) {
            view.scatter(first, data, column);
            continue;
        }
        view.gather(data, partner, second);
        permuteByPairs(second, tilePairs);
        view.scatter(first, data, partner);
        view.scatter(second, data, column);
    }
}

void sigFftSimdBitRevCopy_32fc(const float* src, float* dst, int m, const std::int32_t* bitRev,
                               float* work) {
    if (m < 2 * kTileBits) {
        sigCopyBytesChecked_8u(src, dst, std::int64_t{8} << m);
        return permuteByPairs(dst, bitRev);
    }
    const std::ptrdiff_t tiles = std::ptrdiff_t{1} << (m - 2 * kTileBits);
    const std::int32_t* tilePairs = bitRev + tiles;
    const TileView view{(std::ptrdiff_t{1} << m) / kTileSide};
    for (std::ptrdiff_t i = 0; i < tiles; ++i) {
        view.gather(src, bitRev[i], work);
        permuteByPairs(work, tilePairs);
        view.scatter(work, dst, kTileSide * i);
    }
}

// ---- real split and merge

namespace {

struct Bins4 {
    __m128 re, im;
};

Bins4 loadLow(const float* p) {
    const __m128 a = _mm_loadu_ps(p), b = _mm_loadu_ps(p + 4);
    return {_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)),
            _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))};
}

// Bins n-k-3 .. n-k at p, returned in the order of k .. k+3.
Bins4 loadHigh(const float* p) {
    const __m128 c = _mm_loadu_ps(p), d = _mm_loadu_ps(p + 4);
    return {_mm_shuffle_ps(d, c, _MM_SHUFFLE(0, 2, 0, 2)),
            _mm_shuffle_ps(d, c, _MM_SHUFFLE(1, 3, 1, 3))};
}

void storeLow(float* p, Bins4 v) {
    _mm_storeu_ps(p, _mm_unpacklo_ps(v.re, v.im));
    _mm_storeu_ps(p + 4, _mm_unpackhi_ps(v.re, v.im));
}

void storeHigh(float* p, Bins4 v) {
    const __m128 low = _mm_unpacklo_ps(v.re, v.im);
    const __m128 high = _mm_unpackhi_ps(v.re, v.im);
    _mm_storeu_ps(p, _mm_shuffle_ps(high, high, _MM_SHUFFLE(1, 0, 3, 2)));
    _mm_storeu_ps(p + 4, _mm_shuffle_ps(low, low, _MM_SHUFFLE(1, 0, 3, 2)));
}

// Bins 1 to 3 one at a time, then four from each end per step: n/2 - 4 bins
// remain, a multiple of four for every n >= 8.
constexpr std::ptrdiff_t kScalarBins = 4;

} // namespace

void sigFftSimdRealPostFwd_32f(float* z, std::ptrdiff_t n, const float* realSplit) {
    sigFftRealPostFwdHead_32f(z, n, realSplit, kScalarBins);
    for (std::ptrdiff_t k = kScalarBins; k < n / 2; k += 4) {
        float* loAt = z + 2 * k;
        float* hiAt = z + 2 * (n - k - 3);
        const Bins4 lo = loadLow(loAt);
        const Bins4 hi = loadHigh(hiAt);
        const Bins4 factor = loadLow(realSplit + 2 * k); // (h, e)
        const __m128 bc = _mm_sub_ps(lo.re, hi.re);
        const __m128 fd = _mm_add_ps(lo.im, hi.im);
        const __m128 l = _mm_add_ps(_mm_mul_ps(bc, factor.im), _mm_mul_ps(fd, factor.re));
        const __m128 g = _mm_sub_ps(_mm_mul_ps(fd, factor.im), _mm_mul_ps(bc, factor.re));
        storeLow(loAt, {_mm_add_ps(hi.re, l), _mm_sub_ps(g, hi.im)});
        storeHigh(hiAt, {_mm_sub_ps(lo.re, l), _mm_sub_ps(g, lo.im)});
    }
    z[n + 1] = -z[n + 1];
}

void sigFftSimdRealPreInv_32f(const float* p, float* z, std::ptrdiff_t n, const float* realRot) {
    sigFftRealPreInvHead_32f(p, z, n, realRot, kScalarBins);
    for (std::ptrdiff_t k = kScalarBins; k < n / 2; k += 4) {
        const Bins4 lo = loadLow(p + 2 * k);            // (c, f)
        const Bins4 hi = loadHigh(p + 2 * (n - k - 3)); // (d, g)
        const Bins4 factor = loadLow(realRot + 2 * k);  // (h, e)
        const __m128 cd = _mm_sub_ps(lo.re, hi.re);
        const __m128 fg = _mm_add_ps(lo.im, hi.im);
        const __m128 l = _mm_sub_ps(_mm_mul_ps(cd, factor.im), _mm_mul_ps(fg, factor.re));
        const __m128 q = _mm_add_ps(_mm_mul_ps(cd, factor.re), _mm_mul_ps(fg, factor.im));
        const __m128 sum = _mm_add_ps(lo.re, hi.re);
        const __m128 diff = _mm_sub_ps(lo.im, hi.im);
        storeLow(z + 2 * k, {_mm_add_ps(sum, l), _mm_add_ps(diff, q)});
        storeHigh(z + 2 * (n - k - 3), {_mm_sub_ps(sum, l), _mm_sub_ps(q, diff)});
    }
    sigFftRealPreInvMiddle_32f(p, z, n);
}
