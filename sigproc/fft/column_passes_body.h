// The passes of complex_passes.h on eight columns at once, one build per
// vector instruction set, and the column sweep of a split level, included by
// each plane build beside plane_fft_body.h (same namespace, same target). The columns lie side by
// side in two planes, row j of the real plane holding value j of each column
// (re[8j + t]); every butterfly runs on whole rows with the scalar passes'
// operations, so each column gets the scalar passes' bits.
//
// No include guard: a build includes it once, after the headers below.
#include "sigproc/fft/column_sweep.h"
#include "sigproc/fft/complex_math.h"
#include "sigproc/fft/plane_fft.h"

#include <cstddef>
#include <cstring>

#include <emmintrin.h>

namespace SIG_PLANE_BUILD {

// Apart from the plane and chunk bodies the build also includes, whose
// helpers share names with these.
namespace columns {

namespace {

constexpr int kColumns = sigFftColumnLanes;

using Index = std::ptrdiff_t;

// One row of the planes: eight lanes, one operation per lane (the wide builds
// take it in one register, the baseline in two). The kernels keep their rows
// in these registers from load to store: rows formed lane by lane in a local
// array and copied back with a wider move than they were written with stall
// every store-to-load forwarding.
using Row = float __attribute__((vector_size(kColumns * sizeof(float))));

// Rows pass by reference only: a vector wider than the baseline's registers
// passed by value would change the calling convention between the builds.
template <typename V> [[gnu::always_inline]] inline void loadRow(const float* from, V& row) {
    std::memcpy(&row, from, sizeof row);
}

template <typename V> [[gnu::always_inline]] inline void storeRow(const V& row, float* to) {
    std::memcpy(to, &row, sizeof row);
}

// Written as one initialiser: element by element, the compiler builds the
// row lane by lane instead of broadcasting.
[[gnu::always_inline]] inline void splat(float value, Row& row) {
    static_assert(kColumns == 8);
    row = Row{value, value, value, value, value, value, value, value};
}

// sigQuarterTurn, sigTwiddle and sigRadix4 on whole rows: the same
// operations in the same order in every lane.
template <bool Inverse, typename V>
[[gnu::always_inline]] inline void quarterTurn(const V& re, const V& im, V& outRe, V& outIm) {
    const V r = re, i = im; // the outputs may be the inputs
    if constexpr (Inverse) {
        outRe = -i;
        outIm = r;
    } else {
        outRe = i;
        outIm = -r;
    }
}

template <bool Inverse, typename V>
[[gnu::always_inline]] inline void twiddle(const V& re, const V& im, const V& wr, const V& wi,
                                           V& outRe, V& outIm) {
    // The outputs may be the inputs.
    const V r = re, i = im;
    if constexpr (Inverse) {
        outRe = r * wr + i * wi;
        outIm = i * wr - r * wi;
    } else {
        outRe = r * wr - i * wi;
        outIm = i * wr + r * wi;
    }
}

// Outputs 0 .. 3 to out[q].
template <bool Inverse, typename V>
[[gnu::always_inline]] inline void radix4(const V& ar, const V& ai, const V& br, const V& bi,
                                          const V& cr, const V& ci, const V& dr, const V& di,
                                          V (&outRe)[4], V (&outIm)[4]) {
    const V t0r = ar + cr, t0i = ai + ci;
    const V t1r = ar - cr, t1i = ai - ci;
    const V t2r = br + dr, t2i = bi + di;
    V t3r = br - dr, t3i = bi - di;
    quarterTurn<Inverse>(t3r, t3i, t3r, t3i);
    outRe[0] = t0r + t2r;
    outIm[0] = t0i + t2i;
    outRe[1] = t1r + t3r;
    outIm[1] = t1i + t3i;
    outRe[2] = t0r - t2r;
    outIm[2] = t0i - t2i;
    outRe[3] = t1r - t3r;
    outIm[3] = t1i - t3i;
}

template <bool Inverse>
[[gnu::noinline]] void columnFourPoint(float* __restrict re, float* __restrict im, Index n) {
    for (Index g = 0; g < n; g += 4, re += 4 * kColumns, im += 4 * kColumns) {
        Row vr[4], vi[4];
        for (int q = 0; q < 4; ++q) {
            loadRow(re + q * kColumns, vr[q]);
            loadRow(im + q * kColumns, vi[q]);
        }
        // Rows 0, 2, 1, 3 of the group are the butterfly's a, b, c, d.
        Row yr[4], yi[4];
        radix4<Inverse>(vr[0], vi[0], vr[2], vi[2], vr[1], vi[1], vr[3], vi[3], yr, yi);
        for (int q = 0; q < 4; ++q) {
            storeRow(yr[q], re + q * kColumns);
            storeRow(yi[q], im + q * kColumns);
        }
    }
}

// The odd half of each group of eight turned as sigEighthTurns turns it (by
// 1, w, -i, -i*w), then joined to the even half.
template <bool Inverse>
[[gnu::noinline]] void columnRadix2(float* __restrict re, float* __restrict im, Index n, float wr,
                                    float wi) {
    Row wRe, wIm;
    splat(wr, wRe);
    splat(wi, wIm);
    for (Index g = 0; g < n; g += 8, re += 8 * kColumns, im += 8 * kColumns) {
        Row er[4], ei[4], tr[4], ti[4];
        for (int q = 0; q < 4; ++q) {
            loadRow(re + q * kColumns, er[q]);
            loadRow(im + q * kColumns, ei[q]);
            loadRow(re + (4 + q) * kColumns, tr[q]);
            loadRow(im + (4 + q) * kColumns, ti[q]);
        }
        twiddle<Inverse>(tr[1], ti[1], wRe, wIm, tr[1], ti[1]);
        quarterTurn<Inverse>(tr[2], ti[2], tr[2], ti[2]);
        twiddle<Inverse>(tr[3], ti[3], wRe, wIm, tr[3], ti[3]);
        quarterTurn<Inverse>(tr[3], ti[3], tr[3], ti[3]);
        for (int q = 0; q < 4; ++q) {
            storeRow(er[q] + tr[q], re + q * kColumns);
            storeRow(ei[q] + ti[q], im + q * kColumns);
            storeRow(er[q] - tr[q], re + (4 + q) * kColumns);
            storeRow(ei[q] - ti[q], im + (4 + q) * kColumns);
        }
    }
}

// Butterfly j of a block: rows a (E0), c (E2), b (E1), d (E3) a quarter
// apart; output q goes to quarter q. sigFftColumnRowsPerStep butterflies a step,
// on as many consecutive rows, each with its own twiddles.
using Rows = float __attribute__((vector_size(sigFftColumnRowsPerStep * kColumns * sizeof(float))));
static_assert(sigFftColumnRowsPerStep == 1 || sigFftColumnRowsPerStep == 2);

// What one step of the stage moves: the baseline build takes each row in
// two halves, which keeps its sixteen registers from spilling.
using Quad = float __attribute__((vector_size(4 * sizeof(float))));
template <bool Wide> struct LanesOf { using Type = Quad; };
template <> struct LanesOf<true> { using Type = Rows; };
using Lanes = LanesOf<sigFftColumnWideRows>::Type;
constexpr Index kLanesInRow =
    sizeof(Lanes) < sizeof(Row) ? Index{sizeof(Lanes) / sizeof(float)} : Index{kColumns};

// Twiddle e of the step's butterflies, one per row.
template <typename V>
[[gnu::always_inline]] inline void splatRows(const float* w, Index groupStride, V& rows) {
    if constexpr (sizeof(V) < sizeof(Row)) {
        rows = V{w[0], w[0], w[0], w[0]};
    } else if constexpr (sizeof(V) == sizeof(Row)) {
        splat(w[0], rows);
    } else {
        Row first, second;
        splat(w[0], first);
        splat(w[groupStride], second);
        rows = __builtin_shufflevector(first, second, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13,
                                       14, 15);
    }
}

template <bool Inverse>
[[gnu::noinline]] void columnRadix4Stage(float* __restrict re, float* __restrict im, Index n,
                                         Index blockLength, const float* __restrict twiddles) {
    const Index quarter = blockLength / 4;
    const Index step = kColumns * quarter;
    const Index groupStride = 6 * (n / blockLength);
    for (Index block = 0; block < n; block += blockLength) {
        for (Index j = 0; j < quarter; j += sigFftColumnRowsPerStep) {
            const float* w = twiddles + j * groupStride;
            Lanes wr[3], wi[3];
            for (int e = 0; e < 3; ++e) {
                splatRows(w + 2 * e, groupStride, wr[e]);
                splatRows(w + 2 * e + 1, groupStride, wi[e]);
            }
            for (Index h = 0; h < kColumns; h += kLanesInRow) {
                float* r = re + kColumns * (block + j) + h;
                float* i = im + kColumns * (block + j) + h;
                // Named rather than an array filled in a loop: the AVX2 build
                // kept such an array on the stack, written in halves and read
                // whole, which stalls.
                Lanes ar, ai, xr, xi, br, bi, cr, ci, dr, di;
                loadRow(r, ar);
                loadRow(i, ai);
                loadRow(r + 2 * step, xr);
                loadRow(i + 2 * step, xi);
                twiddle<Inverse>(xr, xi, wr[0], wi[0], br, bi);
                loadRow(r + step, xr);
                loadRow(i + step, xi);
                twiddle<Inverse>(xr, xi, wr[1], wi[1], cr, ci);
                loadRow(r + 3 * step, xr);
                loadRow(i + 3 * step, xi);
                twiddle<Inverse>(xr, xi, wr[2], wi[2], dr, di);
                Lanes yr[4], yi[4];
                radix4<Inverse>(ar, ai, br, bi, cr, ci, dr, di, yr, yi);
                for (int q = 0; q < 4; ++q) {
                    storeRow(yr[q], r + q * step);
                    storeRow(yi[q], i + q * step);
                }
            }
        }
    }
}

// The stages after the 4-point butterflies.
template <bool Inverse> void laterStages(float* re, float* im, int q, const float* twiddles) {
    const std::ptrdiff_t n = std::ptrdiff_t{1} << q;
    std::ptrdiff_t blockLength = 16;
    if (q % 2 == 1) {
        const float* w = twiddles + 6 * (n / 8);
        columnRadix2<Inverse>(re, im, n, w[0], w[1]);
        blockLength = 32;
    }
    for (; blockLength <= n; blockLength *= 4)
        columnRadix4Stage<Inverse>(re, im, n, blockLength, twiddles);
}

template <bool Inverse> void columnPasses(float* re, float* im, int q, const float* twiddles) {
    columnFourPoint<Inverse>(re, im, std::ptrdiff_t{1} << q);
    laterStages<Inverse>(re, im, q, twiddles);
}

static_assert(kColumns == 8, "the sweep moves a row's eight values as two halves");

// The baseline build runs the sweep's gather and store on four-lane halves
// of the rows in SSE registers: it would take eight-lane shuffles lane by
// lane.
using Half = __m128;

// Four interleaved values from `from` as a real and an imaginary half.
[[gnu::always_inline]] inline void splitHalf(const float* from, Half& re, Half& im) {
    const Half d0 = _mm_loadu_ps(from), d1 = _mm_loadu_ps(from + 4);
    re = _mm_shuffle_ps(d0, d1, 0x88);
    im = _mm_shuffle_ps(d0, d1, 0xDD);
}

// Half h of the rows of the planes (real at re, imaginary at im) back to
// four interleaved values.
[[gnu::always_inline]] inline void storeInterleaved(const float* re, const float* im, float* to) {
    const Half r = _mm_load_ps(re), i = _mm_load_ps(im);
    _mm_storeu_ps(to, _mm_unpacklo_ps(r, i));
    _mm_storeu_ps(to + 4, _mm_unpackhi_ps(r, i));
}

// The same on whole rows, for the wide builds, whose registers hold a row:
// eight interleaved values, the first four at low and the others at high.
[[gnu::always_inline]] inline void splitRow(const float* low, const float* high, Row& re, Row& im) {
    Row d0, d1;
    loadRow(low, d0);
    loadRow(high, d1);
    re = __builtin_shufflevector(d0, d1, 0, 2, 4, 6, 8, 10, 12, 14);
    im = __builtin_shufflevector(d0, d1, 1, 3, 5, 7, 9, 11, 13, 15);
}

[[gnu::always_inline]] inline void storeInterleavedRow(const float* re, const float* im,
                                                       float* to) {
    Row r, i;
    loadRow(re, r);
    loadRow(im, i);
    storeRow(__builtin_shufflevector(r, i, 0, 8, 1, 9, 2, 10, 3, 11), to);
    storeRow(__builtin_shufflevector(r, i, 4, 12, 5, 13, 6, 14, 7, 15), to + kColumns);
}

// Rows j .. j + 3 of the group of eight columns from first (data: row j's
// first value), twiddled by their matrix entries (four per row for each four
// columns, rows inner: the operations of sigTwiddle) and through their
// 4-point butterfly (columnFourPoint) into rows j .. j + 3 of the planes.
template <bool Inverse, typename V>
[[gnu::always_inline]] inline void gatherBlock(const float* data, Index rowFloats,
                                               const float* entries, Index rows, float* re,
                                               float* im) {
    V xr[4], xi[4];
    for (int k = 0; k < 4; ++k) {
        V r, i, wr, wi;
        if constexpr (sizeof(V) == sizeof(Row)) {
            splitRow(data + rowFloats * k, data + rowFloats * k + kColumns, r, i);
            splitRow(entries + 8 * k, entries + 8 * (rows + k), wr, wi);
        } else {
            splitHalf(data + rowFloats * k, r, i);
            splitHalf(entries + 8 * k, wr, wi);
        }
        twiddle<Inverse>(r, i, wr, wi, xr[k], xi[k]);
    }
    V yr[4], yi[4];
    radix4<Inverse>(xr[0], xi[0], xr[2], xi[2], xr[1], xi[1], xr[3], xi[3], yr, yi);
    for (int q = 0; q < 4; ++q) {
        storeRow(yr[q], re + kColumns * q);
        storeRow(yi[q], im + kColumns * q);
    }
}

// Rows fetched ahead of the walk that gathers from them.
constexpr Index kAheadRows = 4;

template <bool Inverse>
void columnSweep(float* data, Index rows, Index rowLength, int a, const float* matrix,
                 const float* twiddles) {
    alignas(64) float planes[2 * kColumns * sigFftColumnSweepMaxRows];
    float* re = planes;
    float* im = planes + kColumns * rows;
    const Index rowFloats = 2 * rowLength;
    const auto gather = [&](Index j, Index first) {
        const float* from = data + rowFloats * j + 2 * first;
        const float* entries = matrix + 8 * ((first / 4) * rows + j);
        if constexpr (sigFftColumnWideRows) {
            gatherBlock<Inverse, Row>(from, rowFloats, entries, rows, re + kColumns * j,
                                      im + kColumns * j);
        } else {
            for (Index h = 0; h < kColumns; h += 4)
                gatherBlock<Inverse, Half>(from + 2 * h, rowFloats, entries + 8 * rows * (h / 4),
                                           rows, re + kColumns * j + h, im + kColumns * j + h);
        }
    };
    for (Index j = 0; j < rows; j += 4) gather(j, 0);
    for (Index first = 0; first < rowLength; first += kColumns) {
        laterStages<Inverse>(re, im, a, twiddles);
        const Index next = first + kColumns;
        for (Index j = 0; j < rows; j += 4) {
            for (Index k = j; k < j + 4; ++k) {
                float* to = data + rowFloats * k + 2 * first;
                if constexpr (sigFftColumnWideRows) {
                    storeInterleavedRow(re + kColumns * k, im + kColumns * k, to);
                } else {
                    for (Index h = 0; h < kColumns; h += 4)
                        storeInterleaved(re + kColumns * k + h, im + kColumns * k + h, to + 2 * h);
                }
            }
            if (next >= rowLength) continue;
            for (Index k = j + kAheadRows; k < j + kAheadRows + 4 && k < rows; ++k)
                __builtin_prefetch(data + rowFloats * k + 2 * next, 0, 3);
            gather(j, next);
        }
    }
}

} // namespace

} // namespace columns

extern const sigFftColumnSweepBuild columnSweeps;
const sigFftColumnSweepBuild columnSweeps{columns::columnSweep<false>, columns::columnSweep<true>};

void columnsForward(float* re, float* im, int q, const float* twiddles) {
    columns::columnPasses<false>(re, im, q, twiddles);
}

void columnsInverse(float* re, float* im, int q, const float* twiddles) {
    columns::columnPasses<true>(re, im, q, twiddles);
}

} // namespace SIG_PLANE_BUILD
