// The transforms in split planes, one build per vector instruction set: each
// build includes this body once, inside a namespace of its own, under the
// set's target (plane_fft.cpp, plane_fft_avx2.cpp, plane_fft_avx512.cpp);
// plane_fft.cpp picks the build once per machine. Every build runs the same
// operations in the same order (no contraction), so all give the same bits.
//
// The kernels are written with explicit vector registers (four-lane ones
// holding one unit, or in the wide builds 256-bit ones holding two), each
// lane doing the scalar operations of complex_math.h and real_split.h for its
// value in the same order.
//
// A build defines SIG_PLANE_WIDE as 0 for the baseline, 1 where its set has
// 256-bit registers (AVX2) and 2 where it has 512-bit ones as well (AVX-512).
//
// No include guard: a build includes it once, after the headers below.
#include "sigproc/fft/bit_reverse.h"
#include "sigproc/fft/complex_math.h"
#include "sigproc/fft/plane_fft.h"
#include "sigproc/fft/real_split.h"
#include "sigproc/vector/arith_const.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#include <emmintrin.h>
#include <immintrin.h>
#include <xmmintrin.h>

namespace SIG_PLANE_BUILD {

namespace {

using Index = std::ptrdiff_t;
constexpr int kLanes = 4;

// The two planes of n complex values.
struct Planes {
    float* re;
    float* im;
};

// The kernels below that move values between lanes are written with
// explicit vector registers: left to the compiler, the AVX-512 build spreads
// four-lane rows over wide registers and pays for it in extracts. They take
// the register type V as a parameter: __m128 holds one unit of four lanes;
// in the wide builds (SIG_PLANE_WIDE) __m256 holds two units, each in its own
// 128-bit half, which every operation below treats apart (the shuffles work
// within halves). The same operations run on each lane either way.
inline __m128 vAdd(__m128 a, __m128 b) { return _mm_add_ps(a, b); }
inline __m128 vSub(__m128 a, __m128 b) { return _mm_sub_ps(a, b); }
inline __m128 vMul(__m128 a, __m128 b) { return _mm_mul_ps(a, b); }
inline __m128 vXor(__m128 a, __m128 b) { return _mm_xor_ps(a, b); }
inline __m128 vUnpackLo(__m128 a, __m128 b) { return _mm_unpacklo_ps(a, b); }
inline __m128 vUnpackHi(__m128 a, __m128 b) { return _mm_unpackhi_ps(a, b); }
inline __m128 vPairsLo(__m128 a, __m128 b) {
    return _mm_castpd_ps(_mm_unpacklo_pd(_mm_castps_pd(a), _mm_castps_pd(b)));
}
inline __m128 vPairsHi(__m128 a, __m128 b) {
    return _mm_castpd_ps(_mm_unpackhi_pd(_mm_castps_pd(a), _mm_castps_pd(b)));
}
// Pair 0 of a and pair 1 of b; pair 1 of a and pair 0 of b.
inline __m128 vPairsLoHi(__m128 a, __m128 b) {
    return _mm_castpd_ps(_mm_shuffle_pd(_mm_castps_pd(a), _mm_castps_pd(b), 2));
}
inline __m128 vPairsHiLo(__m128 a, __m128 b) {
    return _mm_castpd_ps(_mm_shuffle_pd(_mm_castps_pd(a), _mm_castps_pd(b), 1));
}
// The even and the odd floats of a and b.
inline __m128 vEvens(__m128 a, __m128 b) { return _mm_shuffle_ps(a, b, 0x88); }
inline __m128 vOdds(__m128 a, __m128 b) { return _mm_shuffle_ps(a, b, 0xDD); }
// Four floats at lo (and, in a register of two units, four at hi).
inline void vLoad(__m128& v, const float* lo, const float*) { v = _mm_loadu_ps(lo); }
inline void vStore(__m128 v, float* lo, float*) { _mm_storeu_ps(lo, v); }
// Four floats from at (and from at + stride, at + 2 stride, ... for the
// further units of a wider register).
inline void vLoadUnits(__m128& v, const float* at, Index) { v = _mm_loadu_ps(at); }
// A register's floats from and to consecutive addresses.
inline void vLoadRow(__m128& v, const float* at) { v = _mm_loadu_ps(at); }
inline void vStoreRow(__m128 v, float* at) { _mm_storeu_ps(at, v); }
// The values of re and im as (re, im) pairs in lane order from at.
inline void vStoreInterleaved(float* at, __m128 re, __m128 im) {
    _mm_storeu_ps(at, _mm_unpacklo_ps(re, im));
    _mm_storeu_ps(at + 4, _mm_unpackhi_ps(re, im));
}
inline void vSign(__m128& v) { v = _mm_set1_ps(-0.0f); }
inline void vBroadcast(__m128& v, float x) { v = _mm_set1_ps(x); }
template <int Imm> inline __m128 vSwizzle(__m128 x) { return _mm_shuffle_ps(x, x, Imm); }

#if SIG_PLANE_WIDE
inline __m256 vAdd(__m256 a, __m256 b) { return _mm256_add_ps(a, b); }
inline __m256 vSub(__m256 a, __m256 b) { return _mm256_sub_ps(a, b); }
inline __m256 vMul(__m256 a, __m256 b) { return _mm256_mul_ps(a, b); }
inline __m256 vXor(__m256 a, __m256 b) { return _mm256_xor_ps(a, b); }
inline __m256 vUnpackLo(__m256 a, __m256 b) { return _mm256_unpacklo_ps(a, b); }
inline __m256 vUnpackHi(__m256 a, __m256 b) { return _mm256_unpackhi_ps(a, b); }
inline __m256 vPairsLo(__m256 a, __m256 b) {
    return _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(a), _mm256_castps_pd(b)));
}
inline __m256 vPairsHi(__m256 a, __m256 b) {
    return _mm256_castpd_ps(_mm256_unpackhi_pd(_mm256_castps_pd(a), _mm256_castps_pd(b)));
}
inline __m256 vPairsLoHi(__m256 a, __m256 b) {
    return _mm256_castpd_ps(_mm256_shuffle_pd(_mm256_castps_pd(a), _mm256_castps_pd(b), 0xA));
}
inline __m256 vPairsHiLo(__m256 a, __m256 b) {
    return _mm256_castpd_ps(_mm256_shuffle_pd(_mm256_castps_pd(a), _mm256_castps_pd(b), 0x5));
}
inline __m256 vEvens(__m256 a, __m256 b) { return _mm256_shuffle_ps(a, b, 0x88); }
inline __m256 vOdds(__m256 a, __m256 b) { return _mm256_shuffle_ps(a, b, 0xDD); }
inline void vLoad(__m256& v, const float* lo, const float* hi) {
    v = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(lo)), _mm_loadu_ps(hi), 1);
}
inline void vStore(__m256 v, float* lo, float* hi) {
    _mm_storeu_ps(lo, _mm256_castps256_ps128(v));
    _mm_storeu_ps(hi, _mm256_extractf128_ps(v, 1));
}
inline void vLoadUnits(__m256& v, const float* at, Index stride) { vLoad(v, at, at + stride); }
inline void vLoadRow(__m256& v, const float* at) { v = _mm256_loadu_ps(at); }
inline void vStoreRow(__m256 v, float* at) { _mm256_storeu_ps(at, v); }
inline void vStoreInterleaved(float* at, __m256 re, __m256 im) {
    const __m256 lo = _mm256_unpacklo_ps(re, im), hi = _mm256_unpackhi_ps(re, im);
    _mm256_storeu_ps(at, _mm256_permute2f128_ps(lo, hi, 0x20));
    _mm256_storeu_ps(at + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
}
inline void vSign(__m256& v) { v = _mm256_set1_ps(-0.0f); }
inline void vBroadcast(__m256& v, float x) { v = _mm256_set1_ps(x); }
template <int Imm> inline __m256 vSwizzle(__m256 x) { return _mm256_shuffle_ps(x, x, Imm); }
#endif

#if SIG_PLANE_WIDE >= 2
// 512-bit registers of four units, for the radix-4 stages of the AVX-512
// build, whose rows lie side by side.
inline __m512 vAdd(__m512 a, __m512 b) { return _mm512_add_ps(a, b); }
inline __m512 vSub(__m512 a, __m512 b) { return _mm512_sub_ps(a, b); }
inline __m512 vMul(__m512 a, __m512 b) { return _mm512_mul_ps(a, b); }
inline __m512 vXor(__m512 a, __m512 b) {
    return _mm512_castsi512_ps(_mm512_xor_si512(_mm512_castps_si512(a), _mm512_castps_si512(b)));
}
inline void vLoadUnits(__m512& v, const float* at, Index stride) {
    v = _mm512_castps128_ps512(_mm_loadu_ps(at));
    v = _mm512_insertf32x4(v, _mm_loadu_ps(at + stride), 1);
    v = _mm512_insertf32x4(v, _mm_loadu_ps(at + 2 * stride), 2);
    v = _mm512_insertf32x4(v, _mm_loadu_ps(at + 3 * stride), 3);
}
inline void vLoadRow(__m512& v, const float* at) { v = _mm512_loadu_ps(at); }
inline void vStoreRow(__m512 v, float* at) { _mm512_storeu_ps(at, v); }
inline void vSign(__m512& v) { v = _mm512_set1_ps(-0.0f); }
template <int Imm> inline __m512 vSwizzle(__m512 x) { return _mm512_shuffle_ps(x, x, Imm); }
using StageRegister = __m512;
#elif SIG_PLANE_WIDE
using StageRegister = __m256;
#else
using StageRegister = __m128;
#endif

// Units per register.
template <typename V> inline constexpr Index kUnitsPerRegister = sizeof(V) / 16;
template <typename V> inline constexpr bool kWide = kUnitsPerRegister<V> != 1;

// The widest register of the build; the kernels fall back to __m128 where a
// transform is too short for it.
#if SIG_PLANE_WIDE
using WideRegister = __m256;
#else
using WideRegister = __m128;
#endif

// The transpose of four units (in each half of a wide register).
template <typename V> inline void transposeUnits(V& r0, V& r1, V& r2, V& r3) {
    const V t0 = vUnpackLo(r0, r1), t1 = vUnpackHi(r0, r1);
    const V t2 = vUnpackLo(r2, r3), t3 = vUnpackHi(r2, r3);
    r0 = vPairsLo(t0, t2);
    r1 = vPairsHi(t0, t2);
    r2 = vPairsLo(t1, t3);
    r3 = vPairsHi(t1, t3);
}

// sigRadix4 lane by lane: a, b, c, d to outputs 0 .. 3 in place.
template <bool Inverse, typename V>
inline void radix4Unit(V& ar, V& ai, V& br, V& bi, V& cr, V& ci, V& dr, V& di) {
    V sign;
    vSign(sign);
    const V t0r = vAdd(ar, cr), t0i = vAdd(ai, ci);
    const V t1r = vSub(ar, cr), t1i = vSub(ai, ci);
    const V t2r = vAdd(br, dr), t2i = vAdd(bi, di);
    const V ur = vSub(br, dr), ui = vSub(bi, di);
    const V t3r = Inverse ? vXor(ui, sign) : ui;
    const V t3i = Inverse ? ur : vXor(ur, sign);
    ar = vAdd(t0r, t2r);
    ai = vAdd(t0i, t2i);
    br = vAdd(t1r, t3r);
    bi = vAdd(t1i, t3i);
    cr = vSub(t0r, t2r);
    ci = vSub(t0i, t2i);
    dr = vSub(t1r, t3r);
    di = vSub(t1i, t3i);
}

// The quarter turn and the twiddle of sigQuarterTurn and sigTwiddle, lane by
// lane (negation as a flip of the sign bit, as the scalar minus does).
template <bool Inverse, typename V> inline void quarterTurnUnit(V& re, V& im) {
    V sign;
    vSign(sign);
    const V r = re;
    if constexpr (Inverse) {
        re = vXor(im, sign);
        im = r;
    } else {
        re = im;
        im = vXor(r, sign);
    }
}

template <bool Inverse, typename V> inline void twiddleUnit(V& re, V& im, V wr, V wi) {
    const V r = re;
    if constexpr (Inverse) {
        re = vAdd(vMul(r, wr), vMul(im, wi));
        im = vSub(vMul(im, wr), vMul(r, wi));
    } else {
        re = vSub(vMul(r, wr), vMul(im, wi));
        im = vAdd(vMul(im, wr), vMul(r, wi));
    }
}

// A radix-4 stage whose blocks lie within a quarter: each block is rows E0,
// E2, E1, E3 of `quarter` units; the four lanes of a unit share butterfly j
// and so its twiddles, which are broadcast in registers as they are read
// (groupStride floats apart in the table) and serve butterfly j in every
// block. The operations of sigTwiddle and sigRadix4, lane by lane.
template <bool Inverse, typename V>
[[gnu::always_inline]] inline void radix4StageWith(Planes d, Index units, Index blockLength,
                                                   const float* twiddles, Index groupStride) {
    constexpr Index P = kUnitsPerRegister<V>;
    const Index quarter = blockLength / 4;
    const Index row = 4 * quarter;
    for (Index j = 0; j < quarter; j += P) {
        const float* w = twiddles + groupStride * j;
        V v12, v23;
        vLoadUnits(v12, w, groupStride);
        vLoadUnits(v23, w + 2, groupStride);
        const V w1r = vSwizzle<0x00>(v12), w1i = vSwizzle<0x55>(v12);
        const V w2r = vSwizzle<0xAA>(v12), w2i = vSwizzle<0xFF>(v12);
        const V w3r = vSwizzle<0xAA>(v23), w3i = vSwizzle<0xFF>(v23);
        for (Index block = 0; block < units; block += blockLength) {
            float* re = d.re + 4 * block + 4 * j;
            float* im = d.im + 4 * block + 4 * j;
            // Rows 0, 1, 2, 3 hold the inputs E0, E2, E1, E3.
            V r[4], i[4];
            for (int k = 0; k < 4; ++k) {
                vLoadRow(r[k], re + k * row);
                vLoadRow(i[k], im + k * row);
            }
            twiddleUnit<Inverse>(r[2], i[2], w1r, w1i);
            twiddleUnit<Inverse>(r[1], i[1], w2r, w2i);
            twiddleUnit<Inverse>(r[3], i[3], w3r, w3i);
            radix4Unit<Inverse>(r[0], i[0], r[2], i[2], r[1], i[1], r[3], i[3]);
            // Outputs 0, 1, 2, 3 are now in r[0], r[2], r[1], r[3].
            const int from[4] = {0, 2, 1, 3};
            for (int k = 0; k < 4; ++k) {
                vStoreRow(r[from[k]], re + k * row);
                vStoreRow(i[from[k]], im + k * row);
            }
        }
    }
}

template <bool Inverse>
[[gnu::noinline]] void radix4Stage(Planes d, Index units, Index blockLength, const float* twiddles,
                                   Index groupStride) {
    radix4StageWith<Inverse, StageRegister>(d, units, blockLength, twiddles, groupStride);
}

// The radix-4 stages after the first ones (firstStages), on n values in the
// unit layout, up to but not including the last.
template <bool Inverse> void laterStages(Planes d, int q, const float* twiddles) {
    const Index n = Index{1} << q;
    const Index units = n / 4;
    for (Index blockLength = q % 2 == 1 ? 32 : 16; blockLength < n; blockLength *= 4)
        radix4Stage<Inverse>(d, units, blockLength, twiddles, 6 * (n / blockLength));
}

// The bit reversal of 0, 1, 2, ... over log2(count) bits, counted upward.
class ReversedCounter {
public:
    explicit ReversedCounter(Index count) : top_(count / 2) {}
    Index value() const { return value_; }
    void next() {
        Index bit = top_;
        for (; (value_ & bit) != 0; bit >>= 1) value_ ^= bit;
        value_ |= bit;
    }

private:
    Index top_;
    Index value_ = 0;
};

// The four units of one group: unit u of the group in r[u], i[u] (and of a
// second group in the upper halves of wide registers).
template <typename V> struct GroupUnits { V r[4], i[4]; };

// The 4-point stage on one group held in registers: units 0, 2, 1, 3 are the
// inputs a, b, c, d of each lane, in bit-reversed order.
template <bool Inverse, typename V> inline void fourPointGroup(GroupUnits<V>& x) {
    radix4Unit<Inverse>(x.r[0], x.i[0], x.r[2], x.i[2], x.r[1], x.i[1], x.r[3], x.i[3]);
    // Outputs 0, 1, 2, 3 are now in r[0], r[2], r[1], r[3].
    std::swap(x.r[1], x.r[2]);
    std::swap(x.i[1], x.i[2]);
}

template <typename V>
inline void storeGroups(const GroupUnits<V>& x, Planes to, Index at, Index second) {
    for (int u = 0; u < 4; ++u) {
        vStore(x.r[u], to.re + 4 * (at + u), to.re + 4 * (at + second + u));
        vStore(x.i[u], to.im + 4 * (at + u), to.im + 4 * (at + second + u));
    }
}

// The first stages straight from the source into the working copy: the
// 4-point stage and, for odd q, the radix-2 stage that joins the 4-point
// halves of every group of eight units (unit 4 + u of it turned as
// sigEighthTurns turns value u: by 1, w, -i, -i*w), on each group of units in
// registers as it arrives. load(g, base, x) fills group g[h] (units 4g[h] ..
// 4g[h]+3 of the unit layout) into half h of the registers x; base[h] is the
// bit reversal of g[h] over q - 4 bits, so that unit 4g + u comes from unit
// base + rev2(u) * n/16 of the natural order.
template <bool Inverse, typename V, typename LoadGroup>
[[gnu::always_inline]] inline void firstStages(Planes to, int q, const float* twiddles,
                                               LoadGroup load) {
    constexpr Index P = kUnitsPerRegister<V>;
    // With one group a register both halves name it. A loader whose sources
    // lie side by side (kAdjacent) gets groups whose bases are b and b + 1 in
    // the halves of a wide register, otherwise groups stored side by side.
    constexpr bool adjacent = P > 1 && LoadGroup::kAdjacent;
    constexpr Index second = P > 1 ? 1 : 0;
    const Index n = Index{1} << q;
    const Index groups = n / 16;
    if (q % 2 == 0) {
        const auto step = [&](const Index(&at)[2], const Index(&bases)[2]) {
            GroupUnits<V> x;
            load(at, bases, x);
            fourPointGroup<Inverse>(x);
            storeGroups(x, to, 4 * at[0], 4 * (at[1] - at[0]));
        };
        if constexpr (adjacent) {
            // Group g + groups/2 has base b + 1.
            ReversedCounter base(groups);
            for (Index g = 0; g < groups / 2; ++g, base.next())
                step({g, g + groups / 2}, {base.value(), base.value() + 1});
        } else {
            // Groups g and g + 1 (g even) have bases b and b + groups/2.
            ReversedCounter base(groups / P);
            for (Index g = 0; g < groups; g += P, base.next())
                step({g, g + second}, {base.value(), base.value() + second * (groups / 2)});
        }
        return;
    }
    const float* w = twiddles + 6 * (n / 8);
    V vwr, vwi;
    vBroadcast(vwr, w[0]);
    vBroadcast(vwi, w[1]);
    // Groups 2h and 2h + 1 (even and odd) with bases b and b + groups/2.
    const auto step = [&](const Index(&even)[2], const Index(&evenBases)[2]) {
        const Index odd[2] = {even[0] + 1, even[1] + 1};
        const Index oddBases[2] = {evenBases[0] + groups / 2, evenBases[1] + groups / 2};
        GroupUnits<V> e, t;
        load(even, evenBases, e);
        load(odd, oddBases, t);
        fourPointGroup<Inverse>(e);
        fourPointGroup<Inverse>(t);
        twiddleUnit<Inverse>(t.r[1], t.i[1], vwr, vwi);
        quarterTurnUnit<Inverse>(t.r[2], t.i[2]);
        twiddleUnit<Inverse>(t.r[3], t.i[3], vwr, vwi);
        quarterTurnUnit<Inverse>(t.r[3], t.i[3]);
        GroupUnits<V> sum, difference;
        for (int u = 0; u < 4; ++u) {
            sum.r[u] = vAdd(e.r[u], t.r[u]);
            sum.i[u] = vAdd(e.i[u], t.i[u]);
            difference.r[u] = vSub(e.r[u], t.r[u]);
            difference.i[u] = vSub(e.i[u], t.i[u]);
        }
        storeGroups(sum, to, 4 * even[0], 4 * (even[1] - even[0]));
        storeGroups(difference, to, 4 * odd[0], 4 * (odd[1] - odd[0]));
    };
    if constexpr (adjacent) {
        // Group 2h + groups/2 has base b + 1.
        ReversedCounter base(groups / 2);
        for (Index h = 0; h < groups / 4; ++h, base.next())
            step({2 * h, 2 * h + groups / 2}, {base.value(), base.value() + 1});
    } else {
        // Groups 2h and 2h + 2 (h even) have bases b and b + groups/4.
        ReversedCounter base(groups / (2 * P));
        for (Index g = 0; g < groups; g += 2 * P, base.next())
            step({g, g + 2 * second}, {base.value(), base.value() + second * (groups / 4)});
    }
}

// Loads for firstStages. Interleaved values in natural order: unit t is the
// four values from 4t, real and imaginary parts apart.
struct FromInterleaved {
    static constexpr bool kAdjacent = false;
    const float* src;
    Index spread; // n/16 units: the distance between the sources of a group
    template <typename V>
    void operator()(const Index (&)[2], const Index (&base)[2], GroupUnits<V>& x) const {
        const Index offsets[4] = {0, 2 * spread, spread, 3 * spread};
        for (int u = 0; u < 4; ++u) {
            const float* lo = src + 8 * (base[0] + offsets[u]);
            const float* hi = src + 8 * (base[1] + offsets[u]);
            V a, b;
            vLoad(a, lo, hi);
            vLoad(b, lo + 4, hi + 4);
            x.r[u] = vEvens(a, b);
            x.i[u] = vOdds(a, b);
        }
    }
};

// Planes in natural order: the units of bases b and b + 1 side by side.
struct FromPlanes {
    static constexpr bool kAdjacent = true;
    Planes from;
    Index spread;
    template <typename V>
    void operator()(const Index (&)[2], const Index (&base)[2], GroupUnits<V>& x) const {
        const Index offsets[4] = {0, 2 * spread, spread, 3 * spread};
        for (int u = 0; u < 4; ++u) {
            const Index at = 4 * (base[0] + offsets[u]);
            vLoadRow(x.r[u], from.re + at);
            vLoadRow(x.i[u], from.im + at);
        }
    }
};

// Interleaved values already in bit-reversed order: lane a of unit r is
// element r of quarter rev2(a) (quarters 0, 2, 1, 3); the four values of
// each quarter are split into parts and transposed.
struct FromBitReversed {
    static constexpr bool kAdjacent = false;
    const float* from;
    Index quarter;
    template <typename V>
    void operator()(const Index (&g)[2], const Index (&)[2], GroupUnits<V>& x) const {
        const Index quarters[kLanes] = {0, 2, 1, 3};
        for (int l = 0; l < kLanes; ++l) {
            const float* lo = from + 2 * (quarters[l] * quarter + 4 * g[0]);
            const float* hi = from + 2 * (quarters[l] * quarter + 4 * g[1]);
            V a, b;
            vLoad(a, lo, hi);
            vLoad(b, lo + 4, hi + 4);
            x.r[l] = vEvens(a, b);
            x.i[l] = vOdds(a, b);
        }
        transposeUnits(x.r[0], x.r[1], x.r[2], x.r[3]);
        transposeUnits(x.i[0], x.i[1], x.i[2], x.i[3]);
    }
};

// The unit layout already in place (to may be the same planes): group g is
// units 4g .. 4g+3.
struct FromUnits {
    static constexpr bool kAdjacent = false;
    Planes from;
    template <typename V>
    void operator()(const Index (&g)[2], const Index (&)[2], GroupUnits<V>& x) const {
        for (int u = 0; u < 4; ++u) {
            vLoad(x.r[u], from.re + 4 * (4 * g[0] + u), from.re + 4 * (4 * g[1] + u));
            vLoad(x.i[u], from.im + 4 * (4 * g[0] + u), from.im + 4 * (4 * g[1] + u));
        }
    }
};

template <bool Inverse, typename LoadGroup>
inline void firstStagesWidest(Planes to, int q, const float* twiddles, LoadGroup load) {
    // Pairs of groups take 2^5 values, pairs of 8-unit groups 2^6.
    if (q >= 6)
        firstStages<Inverse, WideRegister>(to, q, twiddles, load);
    else
        firstStages<Inverse, __m128>(to, q, twiddles, load);
}

template <bool Inverse>
[[gnu::noinline]] void firstStagesInterleaved(const float* src, Planes to, int q,
                                              const float* twiddles) {
    firstStagesWidest<Inverse>(to, q, twiddles, FromInterleaved{src, (Index{1} << q) / 16});
}

template <bool Inverse>
[[gnu::noinline]] void firstStagesPlanes(Planes from, Planes to, int q, const float* twiddles) {
    firstStagesWidest<Inverse>(to, q, twiddles, FromPlanes{from, (Index{1} << q) / 16});
}

template <bool Inverse>
[[gnu::noinline]] void firstStagesBitReversed(const float* src, Planes to, int q,
                                              const float* twiddles) {
    firstStagesWidest<Inverse>(to, q, twiddles, FromBitReversed{src, (Index{1} << q) / 4});
}

// The last stage: butterfly j takes lane a of unit j, which holds position j
// of quarter rev2(a), so its inputs E0, E1, E2, E3 are the unit's lanes in
// order; its outputs belong at position j of each quarter of the natural
// order. Four butterflies at a time in the halves of vector registers: the
// units j .. j+3 transposed give lanes E0 .. E3 of four
// butterflies, which then run the scalar operations of sigTwiddle and
// sigRadix4 lane by lane. A wide register takes butterflies j .. j+3 in its
// lower half and j+4 .. j+7 in its upper one. The outputs in natural order,
// as planes from outRe and outIm (outStride 1) or interleaved from outRe
// (outStride 2, outIm = outRe + 1).
template <Index outStride, typename V>
inline void storeQuarter(float* re, float* im, Index at, V yr, V yi) {
    if constexpr (outStride == 2) {
        vStoreInterleaved(re + 2 * at, yr, yi);
    } else {
        vStoreRow(yr, re + at);
        vStoreRow(yi, im + at);
    }
}

// The twiddles of butterflies j .. j+3 (their groups at `at`, and of j+4 ..
// j+7 in a wide register) as one register per power and part. Four groups
// are six vectors; seen as pairs they hold V1 V2 | V3 V1 | V2 V3 | (the same
// for the next two groups), so two pair shuffles collect a power's pairs and
// two float shuffles split them.
template <typename V> struct QuadTwiddles { V re[3], im[3]; };

template <typename V> inline QuadTwiddles<V> loadQuadTwiddles(const float* at) {
    constexpr Index second = kWide<V> ? 24 : 0;
    V g[6];
    for (int v = 0; v < 6; ++v) vLoad(g[v], at + 4 * v, at + second + 4 * v);
    const V pairs[3][2] = {
        {vPairsLoHi(g[0], g[1]), vPairsLoHi(g[3], g[4])},
        {vPairsHiLo(g[0], g[2]), vPairsHiLo(g[3], g[5])},
        {vPairsLoHi(g[1], g[2]), vPairsLoHi(g[4], g[5])},
    };
    QuadTwiddles<V> w;
    for (int v = 0; v < 3; ++v) {
        w.re[v] = vEvens(pairs[v][0], pairs[v][1]);
        w.im[v] = vOdds(pairs[v][0], pairs[v][1]);
    }
    return w;
}

// Where the last stage's outputs go: store(q, j, yr, yi) takes positions
// j .. j+3 (and j+4 .. j+7 in a wide register) of quarter q.
template <bool Inverse, typename V, typename Store>
[[gnu::always_inline]] inline void lastStageQuads(Planes from, Index n, const float* twiddles,
                                                  Store store) {
    constexpr Index step = 4 * kUnitsPerRegister<V>;
    constexpr Index second = kWide<V> ? 16 : 0;
    const Index quarter = n / 4;
    for (Index j = 0; j < quarter; j += step) {
        const QuadTwiddles<V> w = loadQuadTwiddles<V>(twiddles + 6 * j);
        V r[4], i[4];
        for (int u = 0; u < 4; ++u) {
            vLoad(r[u], from.re + 4 * (j + u), from.re + 4 * (j + u) + second);
            vLoad(i[u], from.im + 4 * (j + u), from.im + 4 * (j + u) + second);
        }
        transposeUnits(r[0], r[1], r[2], r[3]);
        transposeUnits(i[0], i[1], i[2], i[3]);
        for (int v = 0; v < 3; ++v) twiddleUnit<Inverse>(r[v + 1], i[v + 1], w.re[v], w.im[v]);
        radix4Unit<Inverse>(r[0], i[0], r[1], i[1], r[2], i[2], r[3], i[3]);
        for (Index q = 0; q < 4; ++q) store(q, j, r[q], i[q]);
    }
}

// The outputs in natural order, as planes from outRe and outIm (outStride 1)
// or interleaved from outRe (outStride 2, outIm = outRe + 1).
template <Index outStride> struct ToNaturalOrder {
    float* outRe;
    float* outIm;
    Index quarter;
    template <typename V> void operator()(Index q, Index j, V yr, V yi) const {
        const Index quarterAt = q * outStride * quarter;
        storeQuarter<outStride>(outRe + quarterAt, outIm + quarterAt, j, yr, yi);
    }
};

template <bool Inverse, typename Store>
inline void lastStageWidestWith(Planes from, Index n, const float* twiddles, Store store) {
    if (n >= 32)
        lastStageQuads<Inverse, WideRegister>(from, n, twiddles, store);
    else
        lastStageQuads<Inverse, __m128>(from, n, twiddles, store);
}

template <bool Inverse, Index outStride>
[[gnu::noinline]] void lastStageWidest(Planes from, Index n, const float* twiddles, float* outRe,
                                       float* outIm) {
    lastStageWidestWith<Inverse>(from, n, twiddles, ToNaturalOrder<outStride>{outRe, outIm, n / 4});
}

// The bins of the real transforms' split and merge, a register at a time:
// bins k .. k+W-1 (W = 4 lanes a unit of the register, 8 in a wide one) with
// their partners n-k .. n-k-W+1 in the same lanes, each lane doing the scalar
// arithmetic of sigSplitBins or sigMergeBins for its pair in the same order.
// Interleaved (re, im) bins and planes, ascending or in reverse lane order;
// a wide register is loaded and stored half by half so that the reversal
// stays within its halves.
inline __m128 vReverseHalves(__m128 x) { return _mm_shuffle_ps(x, x, 0x1B); }
// A register's lanes in reverse order.
inline __m128 vReverse(__m128 x) { return vReverseHalves(x); }
#if SIG_PLANE_WIDE
inline __m256 vReverseHalves(__m256 x) { return _mm256_shuffle_ps(x, x, 0x1B); }
inline __m256 vReverse(__m256 x) {
    return _mm256_permutevar8x32_ps(x, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0));
}
#endif

// Floats between the halves of a register's lanes: 0 for one unit.
template <typename V> inline constexpr Index kHalf = kWide<V> ? 4 : 0;

template <typename V> inline void loadBins(const float* at, V& re, V& im) {
    V a, b;
    vLoad(a, at, at + 2 * kHalf<V>);
    vLoad(b, at + 4, at + 4 + 2 * kHalf<V>);
    re = vEvens(a, b);
    im = vOdds(a, b);
}

// Bins m .. m+W-1 from `at` into lanes W-1 .. 0.
template <typename V> inline void loadBinsReversed(const float* at, V& re, V& im) {
    V a, b;
    vLoad(a, at + 2 * kHalf<V>, at);
    vLoad(b, at + 4 + 2 * kHalf<V>, at + 4);
    re = vReverseHalves(vEvens(a, b));
    im = vReverseHalves(vOdds(a, b));
}

template <typename V> inline void storeBins(float* at, V re, V im) {
    vStoreInterleaved(at, re, im);
}

template <typename V> inline void storeBinsReversed(float* at, V re, V im) {
    re = vReverseHalves(re);
    im = vReverseHalves(im);
    vStore(vUnpackLo(re, im), at + 2 * kHalf<V>, at);
    vStore(vUnpackHi(re, im), at + 4 + 2 * kHalf<V>, at + 4);
}

template <typename V> inline void loadRow(const float* at, V& x) { vLoadRow(x, at); }

template <typename V> inline void loadRowReversed(const float* at, V& x) {
    vLoadRow(x, at);
    x = vReverse(x);
}

template <typename V> inline void storeRow(float* at, V x) { vStoreRow(x, at); }

template <typename V> inline void storeRowReversed(float* at, V x) { vStoreRow(vReverse(x), at); }

// The forward split of the natural-order planes z into the packed spectrum
// out, bins 1 .. n/2 - 1 and their partners.
template <typename V> inline void splitBinsWith(Planes z, float* out, Index n, const float* split) {
    constexpr Index W = 4 * kUnitsPerRegister<V>;
    Index k = 1;
    for (; k + W <= n / 2; k += W) {
        const Index m = n - k - (W - 1);
        V b, f, c, d, h, e;
        loadRow(z.re + k, b);
        loadRow(z.im + k, f);
        loadRowReversed(z.re + m, c);
        loadRowReversed(z.im + m, d);
        loadBins(split + 2 * k, h, e);
        const V diff = vSub(b, c), sum = vAdd(f, d);
        const V l = vAdd(vMul(diff, e), vMul(sum, h));
        const V g = vSub(vMul(sum, e), vMul(diff, h));
        storeBins(out + 2 * k, vAdd(c, l), vSub(g, d));
        storeBinsReversed(out + 2 * m, vSub(b, l), vSub(g, f));
    }
    for (; k < n / 2; ++k) {
        const sigBinPair x = sigSplitBins(z.re[k], z.im[k], z.re[n - k], z.im[n - k], split[2 * k],
                                          split[2 * k + 1]);
        out[2 * k] = x.loRe;
        out[2 * k + 1] = x.loIm;
        out[2 * (n - k)] = x.hiRe;
        out[2 * (n - k) + 1] = x.hiIm;
    }
}

// The inverse merge of the packed spectrum p, bins 1 .. n/2 - 1 and their
// partners, into the planes z.
template <typename V>
inline void mergeBinsWith(const float* p, Planes z, Index n, const float* rot) {
    constexpr Index W = 4 * kUnitsPerRegister<V>;
    Index k = 1;
    for (; k + W <= n / 2; k += W) {
        const Index m = n - k - (W - 1);
        V c, f, d, g, h, e;
        loadBins(p + 2 * k, c, f);
        loadBinsReversed(p + 2 * m, d, g);
        loadBins(rot + 2 * k, h, e);
        const V diff = vSub(c, d), sum = vAdd(f, g);
        const V l = vSub(vMul(diff, e), vMul(sum, h));
        const V q = vAdd(vMul(diff, h), vMul(sum, e));
        const V both = vAdd(c, d), apart = vSub(f, g);
        storeRow(z.re + k, vAdd(both, l));
        storeRow(z.im + k, vAdd(apart, q));
        storeRowReversed(z.re + m, vSub(both, l));
        storeRowReversed(z.im + m, vSub(q, apart));
    }
    for (; k < n / 2; ++k) {
        const sigBinPair x = sigMergeBins(p[2 * k], p[2 * k + 1], p[2 * (n - k)],
                                          p[2 * (n - k) + 1], rot[2 * k], rot[2 * k + 1]);
        z.re[k] = x.loRe;
        z.im[k] = x.loIm;
        z.re[n - k] = x.hiRe;
        z.im[n - k] = x.hiIm;
    }
}

[[gnu::noinline]] void splitBins(Planes z, float* out, Index n, const float* split) {
    splitBinsWith<WideRegister>(z, out, n, split);
}

[[gnu::noinline]] void mergeBins(const float* p, Planes z, Index n, const float* rot) {
    mergeBinsWith<WideRegister>(p, z, n, rot);
}

// What both directions work with: sizes, tables, the working copy in the
// unit layout and the spectrum's planes in natural order (16 KB in all).
struct Transform {
    explicit Transform(const sigFftSpec_R_32f& spec)
        : q(spec.order - 1), n(Index{1} << q),
          twiddles(spec.table<float>(spec.twiddles)), copy{work, work + n}, spectrum{natural,
                                                                                     natural + n} {}
    Transform(const Transform&) = delete;
    Transform& operator=(const Transform&) = delete;

    const int q;
    const Index n;
    const float* const twiddles;
    alignas(32) float work[std::size_t{2} << sigFftPlaneMaxComplexOrder];
    alignas(32) float natural[std::size_t{2} << sigFftPlaneMaxComplexOrder];
    const Planes copy;
    const Planes spectrum;
};

} // namespace

void realForward(const float* src, float* dst, const sigFftSpec_R_32f& spec) {
    Transform t(spec);
    const Index n = t.n;
    // src is read in full before dst is written: they may be the same array.
    firstStagesInterleaved<false>(src, t.copy, t.q, t.twiddles);
    laterStages<false>(t.copy, t.q, t.twiddles);
    const Planes z = t.spectrum;
    lastStageWidest<false, 1>(t.copy, n, t.twiddles, z.re, z.im);
    if (spec.scaleFwd != 0)
        sigMulConstInPlace_32f_generic(spec.scaleFactor, t.natural, static_cast<int>(2 * n));

    const float d0 = z.re[0], d1 = z.im[0];
    dst[0] = d0 + d1;
    dst[1] = d0 - d1;
    splitBins(z, dst, n, spec.table<float>(spec.realSplit));
    dst[n] = z.re[n / 2];
    dst[n + 1] = -z.im[n / 2];
}

void realInverse(const float* src, float* dst, const sigFftSpec_R_32f& spec) {
    Transform t(spec);
    const Index n = t.n;
    // The merge reads src in full before dst is written.
    const Planes z = t.spectrum;
    const float dc = src[0], nyquist = src[1];
    z.re[0] = dc + nyquist;
    z.im[0] = dc - nyquist;
    mergeBins(src, z, n, spec.table<float>(spec.realRot));
    const float middleRe = src[n], middleIm = src[n + 1];
    z.re[n / 2] = 2 * middleRe;
    z.im[n / 2] = -2 * middleIm;

    firstStagesPlanes<true>(z, t.copy, t.q, t.twiddles);
    laterStages<true>(t.copy, t.q, t.twiddles);
    lastStageWidest<true, 2>(t.copy, n, t.twiddles, dst, dst + 1);
    if (spec.scaleInv != 0)
        sigMulConstInPlace_32f_generic(spec.scaleFactor, dst, static_cast<int>(2 * n));
}

// The complex transform of 2^q values, 4 <= q <= sigFftPlaneMaxComplexOrder:
// from natural order, or (bitReversed) from values already in bit-reversed
// order; natural order out, interleaved. src may equal dst.
template <bool Inverse>
void complexTransform(const float* src, float* dst, int q, bool bitReversed,
                      const float* twiddles) {
    const Index n = Index{1} << q;
    alignas(32) float work[std::size_t{2} << sigFftPlaneMaxComplexOrder];
    const Planes copy{work, work + n};
    if (bitReversed) {
        firstStagesBitReversed<Inverse>(src, copy, q, twiddles);
    } else {
        firstStagesInterleaved<Inverse>(src, copy, q, twiddles);
    }
    laterStages<Inverse>(copy, q, twiddles);
    lastStageWidest<Inverse, 2>(copy, n, twiddles, dst, dst + 1);
}

void complexForward(const float* src, float* dst, int q, bool bitReversed, const float* twiddles) {
    complexTransform<false>(src, dst, q, bitReversed, twiddles);
}

void complexInverse(const float* src, float* dst, int q, bool bitReversed, const float* twiddles) {
    complexTransform<true>(src, dst, q, bitReversed, twiddles);
}

} // namespace SIG_PLANE_BUILD
