// The transforms in split planes, one build per vector instruction set: each
// build includes this body once, inside a namespace of its own, under the
// set's target (plane_fft.cpp, plane_fft_avx2.cpp, plane_fft_avx512.cpp);
// plane_fft.cpp picks the build once per machine. Every build runs the same
// operations in the same order (no contraction), so all give the same bits.
//
// The kernels are written lane by lane over plain arrays so that the compiler
// turns each lane loop into one vector operation. Several are kept out of line
// on purpose: with their arrays as restrict-qualified parameters the compiler
// can tell the rows of a block apart, which it cannot once they are inlined.
//
// No include guard: a build includes it once, after the headers below.
#include "sigproc/fft/bit_reverse.h"
#include "sigproc/fft/complex_math.h"
#include "sigproc/fft/plane_fft.h"
#include "sigproc/fft/real_split.h"
#include "sigproc/vector/arith_const.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include <emmintrin.h>
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

// sigRadix4 on four lanes: a, b, c, d to outputs 0 .. 3 in place.
template <bool Inverse>
inline void radix4Unit(__m128& ar, __m128& ai, __m128& br, __m128& bi, __m128& cr, __m128& ci,
                       __m128& dr, __m128& di) {
    const __m128 sign = _mm_set1_ps(-0.0f);
    const __m128 t0r = _mm_add_ps(ar, cr), t0i = _mm_add_ps(ai, ci);
    const __m128 t1r = _mm_sub_ps(ar, cr), t1i = _mm_sub_ps(ai, ci);
    const __m128 t2r = _mm_add_ps(br, dr), t2i = _mm_add_ps(bi, di);
    const __m128 ur = _mm_sub_ps(br, dr), ui = _mm_sub_ps(bi, di);
    const __m128 t3r = Inverse ? _mm_xor_ps(ui, sign) : ui;
    const __m128 t3i = Inverse ? ur : _mm_xor_ps(ur, sign);
    ar = _mm_add_ps(t0r, t2r);
    ai = _mm_add_ps(t0i, t2i);
    br = _mm_add_ps(t1r, t3r);
    bi = _mm_add_ps(t1i, t3i);
    cr = _mm_sub_ps(t0r, t2r);
    ci = _mm_sub_ps(t0i, t2i);
    dr = _mm_sub_ps(t1r, t3r);
    di = _mm_sub_ps(t1i, t3i);
}

// Joins the 4-point halves of every group of eight units: unit 4 + q of a
// group is turned as sigEighthTurns turns its value q (by 1, w, -i, -i*w).
// Written with vector registers of four lanes, one unit each: left to the
// compiler, the AVX-512 build spreads these four-lane rows over wide registers
// and pays for it in extracts.
template <bool Inverse> inline void quarterTurnUnit(__m128& re, __m128& im) {
    const __m128 sign = _mm_set1_ps(-0.0f);
    const __m128 r = re;
    if constexpr (Inverse) {
        re = _mm_xor_ps(im, sign);
        im = r;
    } else {
        re = im;
        im = _mm_xor_ps(r, sign);
    }
}

template <bool Inverse> inline void twiddleUnit(__m128& re, __m128& im, __m128 wr, __m128 wi) {
    const __m128 r = re;
    if constexpr (Inverse) {
        re = _mm_add_ps(_mm_mul_ps(r, wr), _mm_mul_ps(im, wi));
        im = _mm_sub_ps(_mm_mul_ps(im, wr), _mm_mul_ps(r, wi));
    } else {
        re = _mm_sub_ps(_mm_mul_ps(r, wr), _mm_mul_ps(im, wi));
        im = _mm_add_ps(_mm_mul_ps(im, wr), _mm_mul_ps(r, wi));
    }
}

// The twiddles of one radix-4 stage whose blocks lie within a quarter, each
// repeated for the four lanes of a unit: power v of butterfly j at 4j + lane,
// so that the butterflies run across j as well as across lanes.
constexpr Index kMaxStageQuarter = (Index{1} << sigFftPlaneMaxComplexOrder) / 16;

struct StageTwiddles {
    alignas(64) float re[3][kLanes * kMaxStageQuarter];
    alignas(64) float im[3][kLanes * kMaxStageQuarter];
};

[[gnu::noinline]] void spreadTwiddles(StageTwiddles& __restrict to, Index quarter,
                                      const float* __restrict twiddles, Index groupStride) {
    // One group (V1, V2, V3 as re, im pairs) is a unit and a pair: each float
    // broadcast into the four lanes of its row.
    for (Index j = 0; j < quarter; ++j, twiddles += groupStride) {
        const __m128 v12 = _mm_loadu_ps(twiddles);
        const __m128 v3 = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(twiddles + 4)));
        _mm_store_ps(&to.re[0][kLanes * j], _mm_shuffle_ps(v12, v12, 0x00));
        _mm_store_ps(&to.im[0][kLanes * j], _mm_shuffle_ps(v12, v12, 0x55));
        _mm_store_ps(&to.re[1][kLanes * j], _mm_shuffle_ps(v12, v12, 0xAA));
        _mm_store_ps(&to.im[1][kLanes * j], _mm_shuffle_ps(v12, v12, 0xFF));
        _mm_store_ps(&to.re[2][kLanes * j], _mm_shuffle_ps(v3, v3, 0x00));
        _mm_store_ps(&to.im[2][kLanes * j], _mm_shuffle_ps(v3, v3, 0x55));
    }
}

// One block of a radix-4 stage whose blocks lie within a quarter: rows E0,
// E2, E1, E3 of `quarter` units each. The four lanes of a unit share
// butterfly j and so its twiddles.
template <bool Inverse>
[[gnu::noinline]] void radix4Block(float* __restrict r0, float* __restrict i0, float* __restrict r2,
                                   float* __restrict i2, float* __restrict r1, float* __restrict i1,
                                   float* __restrict r3, float* __restrict i3, Index count,
                                   const StageTwiddles& __restrict w) {
    for (Index u = 0; u < count; ++u) {
        float br, bi, cr, ci, dr, di;
        sigTwiddle<Inverse>(r1[u], i1[u], w.re[0][u], w.im[0][u], br, bi);
        sigTwiddle<Inverse>(r2[u], i2[u], w.re[1][u], w.im[1][u], cr, ci);
        sigTwiddle<Inverse>(r3[u], i3[u], w.re[2][u], w.im[2][u], dr, di);
        const sigRadix4Outputs y = sigRadix4<Inverse>(r0[u], i0[u], br, bi, cr, ci, dr, di);
        r0[u] = y.re[0];
        i0[u] = y.im[0];
        r2[u] = y.re[1];
        i2[u] = y.im[1];
        r1[u] = y.re[2];
        i1[u] = y.im[2];
        r3[u] = y.re[3];
        i3[u] = y.im[3];
    }
}

template <bool Inverse>
void radix4Units(Planes d, Index units, Index n, Index blockLength, const float* twiddles) {
    const Index quarter = blockLength / 4;
    const Index row = 4 * quarter;
    StageTwiddles w;
    spreadTwiddles(w, quarter, twiddles, 6 * (n / blockLength));
    for (Index block = 0; block < units; block += blockLength) {
        float* r0 = d.re + 4 * block;
        float* i0 = d.im + 4 * block;
        radix4Block<Inverse>(r0, i0, r0 + row, i0 + row, r0 + 2 * row, i0 + 2 * row, r0 + 3 * row,
                             i0 + 3 * row, row, w);
    }
}

// The radix-4 stages after the first ones (firstStages), on n values in the
// unit layout, up to but not including the last.
template <bool Inverse> void laterStages(Planes d, int q, const float* twiddles) {
    const Index n = Index{1} << q;
    const Index units = n / 4;
    for (Index blockLength = q % 2 == 1 ? 32 : 16; blockLength < n; blockLength *= 4)
        radix4Units<Inverse>(d, units, n, blockLength, twiddles);
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

// The four units of one group: unit u of the group in r[u], i[u].
struct GroupUnits {
    __m128 r[4], i[4];
};

// fourPointUnits on one group held in registers.
template <bool Inverse> inline void fourPointGroup(GroupUnits& x) {
    radix4Unit<Inverse>(x.r[0], x.i[0], x.r[2], x.i[2], x.r[1], x.i[1], x.r[3], x.i[3]);
    // Outputs 0, 1, 2, 3 are now in r[0], r[2], r[1], r[3].
    std::swap(x.r[1], x.r[2]);
    std::swap(x.i[1], x.i[2]);
}

inline void storeGroup(const GroupUnits& x, float* re, float* im) {
    for (int u = 0; u < 4; ++u) {
        _mm_storeu_ps(re + 4 * u, x.r[u]);
        _mm_storeu_ps(im + 4 * u, x.i[u]);
    }
}

// The first stages straight from the source into the working copy: the
// 4-point stage (fourPointUnits) and, for odd q, the radix-2 stage
// (radix2Units) run on each group of units in registers as it arrives, with
// the same operations in the same order. load(g, base, x) fills group g
// (units 4g .. 4g+3 of the unit layout); base is the bit reversal of g over
// q - 4 bits, so that unit 4g + u comes from unit base + rev2(u) * n/16 of
// the natural order.
template <bool Inverse, typename LoadGroup>
[[gnu::always_inline]] inline void firstStages(Planes to, int q, const float* twiddles,
                                               LoadGroup load) {
    const Index n = Index{1} << q;
    const Index groups = n / 16;
    if (q % 2 == 0) {
        ReversedCounter base(groups);
        for (Index g = 0; g < groups; ++g, base.next()) {
            GroupUnits x;
            load(g, base.value(), x);
            fourPointGroup<Inverse>(x);
            storeGroup(x, to.re + 16 * g, to.im + 16 * g);
        }
        return;
    }
    const float* w = twiddles + 6 * (n / 8);
    const __m128 vwr = _mm_set1_ps(w[0]), vwi = _mm_set1_ps(w[1]);
    ReversedCounter base(groups / 2);
    for (Index h = 0; h < groups / 2; ++h, base.next()) {
        GroupUnits e, t;
        load(2 * h, base.value(), e);
        load(2 * h + 1, base.value() + groups / 2, t);
        fourPointGroup<Inverse>(e);
        fourPointGroup<Inverse>(t);
        twiddleUnit<Inverse>(t.r[1], t.i[1], vwr, vwi);
        quarterTurnUnit<Inverse>(t.r[2], t.i[2]);
        twiddleUnit<Inverse>(t.r[3], t.i[3], vwr, vwi);
        quarterTurnUnit<Inverse>(t.r[3], t.i[3]);
        GroupUnits sum, difference;
        for (int u = 0; u < 4; ++u) {
            sum.r[u] = _mm_add_ps(e.r[u], t.r[u]);
            sum.i[u] = _mm_add_ps(e.i[u], t.i[u]);
            difference.r[u] = _mm_sub_ps(e.r[u], t.r[u]);
            difference.i[u] = _mm_sub_ps(e.i[u], t.i[u]);
        }
        storeGroup(sum, to.re + 32 * h, to.im + 32 * h);
        storeGroup(difference, to.re + 32 * h + 16, to.im + 32 * h + 16);
    }
}

// Loads for firstStages. Interleaved values in natural order: unit t is the
// four values from 4t, real and imaginary parts apart.
struct FromInterleaved {
    const float* src;
    Index spread; // n/16 units: the distance between the sources of a group
    void operator()(Index, Index base, GroupUnits& x) const {
        const Index from[4] = {base, base + 2 * spread, base + spread, base + 3 * spread};
        for (int u = 0; u < 4; ++u) {
            const float* at = src + 8 * from[u];
            const __m128 a = _mm_loadu_ps(at), b = _mm_loadu_ps(at + 4);
            x.r[u] = _mm_shuffle_ps(a, b, 0x88);
            x.i[u] = _mm_shuffle_ps(a, b, 0xDD);
        }
    }
};

// Planes in natural order.
struct FromPlanes {
    Planes from;
    Index spread;
    void operator()(Index, Index base, GroupUnits& x) const {
        const Index at[4] = {base, base + 2 * spread, base + spread, base + 3 * spread};
        for (int u = 0; u < 4; ++u) {
            x.r[u] = _mm_loadu_ps(from.re + 4 * at[u]);
            x.i[u] = _mm_loadu_ps(from.im + 4 * at[u]);
        }
    }
};

// Interleaved values already in bit-reversed order: lane a of unit r is
// element r of quarter rev2(a) (quarters 0, 2, 1, 3); the four values of
// each quarter are split into parts and transposed.
struct FromBitReversed {
    const float* from;
    Index quarter;
    void operator()(Index g, Index, GroupUnits& x) const {
        const Index quarters[kLanes] = {0, 2, 1, 3};
        for (int l = 0; l < kLanes; ++l) {
            const float* at = from + 2 * (quarters[l] * quarter + 4 * g);
            const __m128 a = _mm_loadu_ps(at), b = _mm_loadu_ps(at + 4);
            x.r[l] = _mm_shuffle_ps(a, b, 0x88);
            x.i[l] = _mm_shuffle_ps(a, b, 0xDD);
        }
        _MM_TRANSPOSE4_PS(x.r[0], x.r[1], x.r[2], x.r[3]);
        _MM_TRANSPOSE4_PS(x.i[0], x.i[1], x.i[2], x.i[3]);
    }
};

template <bool Inverse>
[[gnu::noinline]] void firstStagesInterleaved(const float* src, Planes to, int q,
                                              const float* twiddles) {
    firstStages<Inverse>(to, q, twiddles, FromInterleaved{src, (Index{1} << q) / 16});
}

template <bool Inverse>
[[gnu::noinline]] void firstStagesPlanes(Planes from, Planes to, int q, const float* twiddles) {
    firstStages<Inverse>(to, q, twiddles, FromPlanes{from, (Index{1} << q) / 16});
}

template <bool Inverse>
[[gnu::noinline]] void firstStagesBitReversed(const float* src, Planes to, int q,
                                              const float* twiddles) {
    firstStages<Inverse>(to, q, twiddles, FromBitReversed{src, (Index{1} << q) / 4});
}

// The last stage: butterfly j takes lane a of unit j, which holds position j
// of quarter rev2(a), so its inputs E0, E1, E2, E3 are the unit's lanes in
// order; its outputs belong at position j of each quarter of the natural
// order. The twiddles are first copied into one row per power (V1, V2, V3), a
// chunk of butterflies at a time, so that the butterflies run across j.
constexpr Index kTwiddleChunk = 32;

struct ChunkTwiddles {
    alignas(64) float re[3][kTwiddleChunk];
    alignas(64) float im[3][kTwiddleChunk];
};

// The groups (V1, V2, V3 as re, im pairs, six floats) of `count` butterflies
// into one row per power and part. Four groups are six vectors; seen as pairs
// they hold V1 V2 | V3 V1 | V2 V3 | (the same for the next two groups), so
// two pair shuffles collect a power's pairs and two float shuffles split them.
[[gnu::noinline]] void chunkTwiddles(const float* __restrict twiddles, Index count,
                                     ChunkTwiddles& __restrict w) {
    Index j = 0;
    for (; j + 4 <= count; j += 4, twiddles += 24) {
        __m128d g[6];
        for (int v = 0; v < 6; ++v) g[v] = _mm_castps_pd(_mm_loadu_ps(twiddles + 4 * v));
        const __m128d pairs[3][2] = {
            {_mm_shuffle_pd(g[0], g[1], 2), _mm_shuffle_pd(g[3], g[4], 2)},
            {_mm_shuffle_pd(g[0], g[2], 1), _mm_shuffle_pd(g[3], g[5], 1)},
            {_mm_shuffle_pd(g[1], g[2], 2), _mm_shuffle_pd(g[4], g[5], 2)},
        };
        for (int v = 0; v < 3; ++v) {
            const __m128 lo = _mm_castpd_ps(pairs[v][0]), hi = _mm_castpd_ps(pairs[v][1]);
            _mm_store_ps(&w.re[v][j], _mm_shuffle_ps(lo, hi, 0x88));
            _mm_store_ps(&w.im[v][j], _mm_shuffle_ps(lo, hi, 0xDD));
        }
    }
    for (; j < count; ++j, twiddles += 6) {
        for (int v = 0; v < 3; ++v) {
            w.re[v][j] = twiddles[2 * v];
            w.im[v][j] = twiddles[2 * v + 1];
        }
    }
}

// The last stage of the real transforms, four butterflies at a time in vector
// registers (their short loops gain nothing from wider ones): the units
// j .. j+3 transposed give lanes E0 .. E3 of four butterflies, which then run
// the scalar operations of sigTwiddle and sigRadix4 lane by lane (negation as
// a flip of the sign bit, as the scalar minus does). outRe[q], outIm[q]:
// quarter q of the natural order, as planes (outStride 1) or interleaved
// (outStride 2, imaginary parts one float behind the real ones).
struct LaneQuad {
    __m128 re, im;
};

template <bool Inverse> inline LaneQuad laneTwiddle(LaneQuad x, __m128 wr, __m128 wi) {
    if constexpr (Inverse) {
        return {_mm_add_ps(_mm_mul_ps(x.re, wr), _mm_mul_ps(x.im, wi)),
                _mm_sub_ps(_mm_mul_ps(x.im, wr), _mm_mul_ps(x.re, wi))};
    } else {
        return {_mm_sub_ps(_mm_mul_ps(x.re, wr), _mm_mul_ps(x.im, wi)),
                _mm_add_ps(_mm_mul_ps(x.im, wr), _mm_mul_ps(x.re, wi))};
    }
}

template <Index outStride>
inline void storeQuarter(float* re, float* im, Index at, __m128 yr, __m128 yi) {
    if constexpr (outStride == 2) {
        _mm_storeu_ps(re + 2 * at, _mm_unpacklo_ps(yr, yi));
        _mm_storeu_ps(re + 2 * at + 4, _mm_unpackhi_ps(yr, yi));
    } else {
        _mm_storeu_ps(re + at, yr);
        _mm_storeu_ps(im + at, yi);
    }
}

template <bool Inverse, Index outStride>
[[gnu::noinline]] void lastStageQuads(Planes from, Index n, const float* twiddles,
                                      float* const (&outRe)[4], float* const (&outIm)[4]) {
    const Index quarter = n / 4;
    const __m128 sign = _mm_set1_ps(-0.0f);
    ChunkTwiddles w;
    for (Index start = 0; start < quarter; start += kTwiddleChunk) {
        const Index count = quarter - start < kTwiddleChunk ? quarter - start : kTwiddleChunk;
        chunkTwiddles(twiddles + 6 * start, count, w);
        for (Index j = 0; j < count; j += 4) {
            const float* re = from.re + 4 * (start + j);
            const float* im = from.im + 4 * (start + j);
            __m128 r0 = _mm_loadu_ps(re), r1 = _mm_loadu_ps(re + 4), r2 = _mm_loadu_ps(re + 8),
                   r3 = _mm_loadu_ps(re + 12);
            __m128 i0 = _mm_loadu_ps(im), i1 = _mm_loadu_ps(im + 4), i2 = _mm_loadu_ps(im + 8),
                   i3 = _mm_loadu_ps(im + 12);
            _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
            _MM_TRANSPOSE4_PS(i0, i1, i2, i3);
            const LaneQuad a{r0, i0};
            const LaneQuad b = laneTwiddle<Inverse>({r1, i1}, _mm_loadu_ps(&w.re[0][j]),
                                                    _mm_loadu_ps(&w.im[0][j]));
            const LaneQuad c = laneTwiddle<Inverse>({r2, i2}, _mm_loadu_ps(&w.re[1][j]),
                                                    _mm_loadu_ps(&w.im[1][j]));
            const LaneQuad d = laneTwiddle<Inverse>({r3, i3}, _mm_loadu_ps(&w.re[2][j]),
                                                    _mm_loadu_ps(&w.im[2][j]));
            // sigRadix4: t3 turned by the direction's quarter turn.
            const __m128 t0r = _mm_add_ps(a.re, c.re), t0i = _mm_add_ps(a.im, c.im);
            const __m128 t1r = _mm_sub_ps(a.re, c.re), t1i = _mm_sub_ps(a.im, c.im);
            const __m128 t2r = _mm_add_ps(b.re, d.re), t2i = _mm_add_ps(b.im, d.im);
            const __m128 dr = _mm_sub_ps(b.re, d.re), di = _mm_sub_ps(b.im, d.im);
            const __m128 t3r = Inverse ? _mm_xor_ps(di, sign) : di;
            const __m128 t3i = Inverse ? dr : _mm_xor_ps(dr, sign);
            const Index at = start + j;
            storeQuarter<outStride>(outRe[0], outIm[0], at, _mm_add_ps(t0r, t2r),
                                    _mm_add_ps(t0i, t2i));
            storeQuarter<outStride>(outRe[1], outIm[1], at, _mm_add_ps(t1r, t3r),
                                    _mm_add_ps(t1i, t3i));
            storeQuarter<outStride>(outRe[2], outIm[2], at, _mm_sub_ps(t0r, t2r),
                                    _mm_sub_ps(t0i, t2i));
            storeQuarter<outStride>(outRe[3], outIm[3], at, _mm_sub_ps(t1r, t3r),
                                    _mm_sub_ps(t1i, t3i));
        }
    }
}

struct ChunkOutputs {
    alignas(64) float re[4][kTwiddleChunk];
    alignas(64) float im[4][kTwiddleChunk];
};

template <bool Inverse>
[[gnu::noinline]] void
lastStageChunk(const float* __restrict fromRe, const float* __restrict fromIm,
               const ChunkTwiddles& __restrict w, Index count, ChunkOutputs& __restrict y) {
    for (Index j = 0; j < count; ++j) {
        float br, bi, cr, ci, dr, di;
        sigTwiddle<Inverse>(fromRe[4 * j + 1], fromIm[4 * j + 1], w.re[0][j], w.im[0][j], br, bi);
        sigTwiddle<Inverse>(fromRe[4 * j + 2], fromIm[4 * j + 2], w.re[1][j], w.im[1][j], cr, ci);
        sigTwiddle<Inverse>(fromRe[4 * j + 3], fromIm[4 * j + 3], w.re[2][j], w.im[2][j], dr, di);
        const sigRadix4Outputs out =
            sigRadix4<Inverse>(fromRe[4 * j], fromIm[4 * j], br, bi, cr, ci, dr, di);
        for (int q = 0; q < 4; ++q) {
            y.re[q][j] = out.re[q];
            y.im[q][j] = out.im[q];
        }
    }
}

[[gnu::noinline]] void interleaveRow(const float* __restrict re, const float* __restrict im,
                                     float* __restrict out, Index count) {
    for (Index j = 0; j < count; ++j) {
        out[2 * j] = re[j];
        out[2 * j + 1] = im[j];
    }
}

// outRe[q], outIm[q]: quarter q of the natural order, as planes (outStride 1)
// or interleaved (outStride 2, imaginary parts one float behind the real ones).
// The butterflies of a chunk write their outputs as rows first, so that they
// run across j in any vector width; the rows are then stored.
template <bool Inverse, Index outStride>
[[gnu::noinline]] void lastStage(Planes from, Index n, const float* twiddles,
                                 float* const (&outRe)[4], float* const (&outIm)[4]) {
    const Index quarter = n / 4;
    ChunkTwiddles w;
    ChunkOutputs y;
    for (Index start = 0; start < quarter; start += kTwiddleChunk) {
        const Index count = quarter - start < kTwiddleChunk ? quarter - start : kTwiddleChunk;
        chunkTwiddles(twiddles + 6 * start, count, w);
        lastStageChunk<Inverse>(from.re + 4 * start, from.im + 4 * start, w, count, y);
        for (int q = 0; q < 4; ++q) {
            if constexpr (outStride == 2) {
                interleaveRow(y.re[q], y.im[q], outRe[q] + 2 * start, count);
            } else {
                std::memcpy(outRe[q] + start, y.re[q],
                            sizeof(float) * static_cast<std::size_t>(count));
                std::memcpy(outIm[q] + start, y.im[q],
                            sizeof(float) * static_cast<std::size_t>(count));
            }
        }
    }
}

// The forward split of the natural-order planes z for the bins below the
// middle: their packed values go to out, and the values of their partners
// above the middle are left in z in their place, for upperBins.
[[gnu::noinline]] void lowerBins(float* __restrict loRe, float* __restrict loIm,
                                 const float* __restrict hiRe, const float* __restrict hiIm,
                                 float* __restrict out, Index count,
                                 const float* __restrict split) {
    for (Index k = 1; k <= count; ++k) {
        const sigBinPair x =
            sigSplitBins(loRe[k], loIm[k], hiRe[-k], hiIm[-k], split[2 * k], split[2 * k + 1]);
        out[2 * k] = x.loRe;
        out[2 * k + 1] = x.loIm;
        loRe[k] = x.hiRe;
        loIm[k] = x.hiIm;
    }
}

// The bins above the middle, in ascending order, from what lowerBins left.
[[gnu::noinline]] void upperBins(const float* __restrict partnerRe,
                                 const float* __restrict partnerIm, float* __restrict out,
                                 Index n) {
    for (Index k = n / 2 + 1; k < n; ++k) {
        out[2 * k] = partnerRe[n - k];
        out[2 * k + 1] = partnerIm[n - k];
    }
}

// The inverse merge of the packed spectrum, held in planes p, into planes z.
[[gnu::noinline]] void mergeBins(const float* __restrict pRe, const float* __restrict pIm,
                                 float* __restrict loRe, float* __restrict loIm,
                                 float* __restrict hiRe, float* __restrict hiIm, Index n,
                                 const float* __restrict rot) {
    for (Index k = 1; k < n / 2; ++k) {
        const sigBinPair x =
            sigMergeBins(pRe[k], pIm[k], pRe[n - k], pIm[n - k], rot[2 * k], rot[2 * k + 1]);
        loRe[k] = x.loRe;
        loIm[k] = x.loIm;
        hiRe[-k] = x.hiRe;
        hiIm[-k] = x.hiIm;
    }
}

[[gnu::noinline]] void deinterleave(const float* __restrict src, float* __restrict re,
                                    float* __restrict im, Index n) {
    for (Index k = 0; k < n; ++k) {
        re[k] = src[2 * k];
        im[k] = src[2 * k + 1];
    }
}

// What both directions work with: sizes, tables and the working copy.
struct Transform {
    explicit Transform(const sigFftSpec_R_32f& spec)
        : q(spec.order - 1), n(Index{1} << q), quarter(n / 4),
          twiddles(spec.table<float>(spec.twiddles)), copy{work, work + n} {}
    Transform(const Transform&) = delete;
    Transform& operator=(const Transform&) = delete;

    const int q;
    const Index n;
    const Index quarter;
    const float* const twiddles;
    alignas(32) float work[std::size_t{2} << sigFftPlaneMaxComplexOrder];
    const Planes copy;
};

} // namespace

void realForward(const float* src, float* dst, const sigFftSpec_R_32f& spec) {
    Transform t(spec);
    const Index n = t.n;
    // src is read in full before dst is written: they may be the same array.
    firstStagesInterleaved<false>(src, t.copy, t.q, t.twiddles);
    laterStages<false>(t.copy, t.q, t.twiddles);
    const Planes z{dst, dst + n};
    float* const outRe[4] = {z.re, z.re + t.quarter, z.re + 2 * t.quarter, z.re + 3 * t.quarter};
    float* const outIm[4] = {z.im, z.im + t.quarter, z.im + 2 * t.quarter, z.im + 3 * t.quarter};
    lastStageQuads<false, 1>(t.copy, n, t.twiddles, outRe, outIm);
    if (spec.scaleFwd != 0)
        sigMulConstInPlace_32f_generic(spec.scaleFactor, dst, static_cast<int>(2 * n));

    // dst still holds the planes the split reads from both ends, so the packed
    // spectrum is assembled in the working copy, free again, and copied out.
    float* out = t.work;
    const float d0 = z.re[0], d1 = z.im[0];
    out[0] = d0 + d1;
    out[1] = d0 - d1;
    lowerBins(z.re, z.im, z.re + n, z.im + n, out, n / 2 - 1, spec.table<float>(spec.realSplit));
    out[n] = z.re[n / 2];
    out[n + 1] = -z.im[n / 2];
    upperBins(z.re, z.im, out, n);
    std::memcpy(dst, out, sizeof(float) * static_cast<std::size_t>(2 * n));
}

void realInverse(const float* src, float* dst, const sigFftSpec_R_32f& spec) {
    Transform t(spec);
    const Index n = t.n;
    const Planes packed = t.copy; // first the packed spectrum, then the bit-reversed values
    deinterleave(src, packed.re, packed.im, n);
    const Planes z{dst, dst + n};
    const float dc = packed.re[0], nyquist = packed.im[0];
    z.re[0] = dc + nyquist;
    z.im[0] = dc - nyquist;
    mergeBins(packed.re, packed.im, z.re, z.im, z.re + n, z.im + n, n,
              spec.table<float>(spec.realRot));
    const float middleRe = packed.re[n / 2], middleIm = packed.im[n / 2];
    z.re[n / 2] = 2 * middleRe;
    z.im[n / 2] = -2 * middleIm;

    firstStagesPlanes<true>(z, t.copy, t.q, t.twiddles);
    laterStages<true>(t.copy, t.q, t.twiddles);
    float* const outRe[4] = {dst, dst + 2 * t.quarter, dst + 4 * t.quarter, dst + 6 * t.quarter};
    float* const outIm[4] = {dst + 1, dst + 2 * t.quarter + 1, dst + 4 * t.quarter + 1,
                             dst + 6 * t.quarter + 1};
    lastStageQuads<true, 2>(t.copy, n, t.twiddles, outRe, outIm);
    if (spec.scaleInv != 0)
        sigMulConstInPlace_32f_generic(spec.scaleFactor, dst, static_cast<int>(2 * n));
}

// The complex transform of 2^q values, 4 <= q <= sigFftPlaneMaxComplexOrder:
// from natural order through the pair table, or (pairs null) from values
// already in bit-reversed order; natural order out, interleaved. src may
// equal dst.
template <bool Inverse>
void complexTransform(const float* src, float* dst, int q, const std::int32_t* pairs,
                      const float* twiddles) {
    const Index n = Index{1} << q;
    const Index quarter = n / 4;
    alignas(32) float work[std::size_t{2} << sigFftPlaneMaxComplexOrder];
    const Planes copy{work, work + n};
    if (pairs != nullptr) {
        firstStagesInterleaved<Inverse>(src, copy, q, twiddles);
    } else {
        firstStagesBitReversed<Inverse>(src, copy, q, twiddles);
    }
    laterStages<Inverse>(copy, q, twiddles);
    float* const outRe[4] = {dst, dst + 2 * quarter, dst + 4 * quarter, dst + 6 * quarter};
    float* const outIm[4] = {dst + 1, dst + 2 * quarter + 1, dst + 4 * quarter + 1,
                             dst + 6 * quarter + 1};
    lastStage<Inverse, 2>(copy, n, twiddles, outRe, outIm);
}

void complexForward(const float* src, float* dst, int q, const std::int32_t* pairs,
                    const float* twiddles) {
    complexTransform<false>(src, dst, q, pairs, twiddles);
}

void complexInverse(const float* src, float* dst, int q, const std::int32_t* pairs,
                    const float* twiddles) {
    complexTransform<true>(src, dst, q, pairs, twiddles);
}

} // namespace SIG_PLANE_BUILD
