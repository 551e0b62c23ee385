// The passes of complex_passes.h on eight columns at once, one build per
// vector instruction set, included by each plane build after
// plane_fft_body.h (same namespace, same target). The columns lie side by
// side in two planes, row j of the real plane holding value j of each column
// (re[8j + t]); every butterfly runs on whole rows with the scalar passes'
// operations, so each column gets the scalar passes' bits.
//
// No include guard: a build includes it once, after the headers below.
#include "sigproc/fft/complex_math.h"
#include "sigproc/fft/plane_fft.h"

#include <cstddef>
#include <cstring>

namespace SIG_PLANE_BUILD {

namespace {

constexpr int kColumns = sigFftColumnLanes;

using Index = std::ptrdiff_t;

// Every kernel computes a butterfly's output rows into local arrays, reading
// only the planes, and then copies them back, so that the compiler sees no
// overlap and turns each lane loop into vector operations.

template <bool Inverse>
[[gnu::noinline]] void columnFourPoint(float* __restrict re, float* __restrict im, Index n) {
    for (Index g = 0; g < n; g += 4, re += 4 * kColumns, im += 4 * kColumns) {
        float yr[4][kColumns], yi[4][kColumns];
        for (int t = 0; t < kColumns; ++t) {
            // Rows 0, 2, 1, 3 of the group are the butterfly's a, b, c, d.
            const sigRadix4Outputs y = sigRadix4<Inverse>(
                re[t], im[t], re[2 * kColumns + t], im[2 * kColumns + t], re[kColumns + t],
                im[kColumns + t], re[3 * kColumns + t], im[3 * kColumns + t]);
            for (int q = 0; q < 4; ++q) {
                yr[q][t] = y.re[q];
                yi[q][t] = y.im[q];
            }
        }
        std::memcpy(re, yr, sizeof yr);
        std::memcpy(im, yi, sizeof yi);
    }
}

// The odd half of each group of eight turned as sigEighthTurns turns it (by
// 1, w, -i, -i*w), then joined to the even half.
template <bool Inverse>
[[gnu::noinline]] void columnRadix2(float* __restrict re, float* __restrict im, Index n, float wr,
                                    float wi) {
    for (Index g = 0; g < n; g += 8, re += 8 * kColumns, im += 8 * kColumns) {
        const float* oRe = re + 4 * kColumns;
        const float* oIm = im + 4 * kColumns;
        float tr[4][kColumns], ti[4][kColumns];
        for (int t = 0; t < kColumns; ++t) {
            tr[0][t] = oRe[t];
            ti[0][t] = oIm[t];
            sigTwiddle<Inverse>(oRe[kColumns + t], oIm[kColumns + t], wr, wi, tr[1][t], ti[1][t]);
            sigQuarterTurn<Inverse>(oRe[2 * kColumns + t], oIm[2 * kColumns + t], tr[2][t],
                                    ti[2][t]);
            float r, i;
            sigTwiddle<Inverse>(oRe[3 * kColumns + t], oIm[3 * kColumns + t], wr, wi, r, i);
            sigQuarterTurn<Inverse>(r, i, tr[3][t], ti[3][t]);
        }
        float yr[8][kColumns], yi[8][kColumns];
        for (int q = 0; q < 4; ++q) {
            for (int t = 0; t < kColumns; ++t) {
                const float er = re[q * kColumns + t], ei = im[q * kColumns + t];
                yr[q][t] = er + tr[q][t];
                yi[q][t] = ei + ti[q][t];
                yr[4 + q][t] = er - tr[q][t];
                yi[4 + q][t] = ei - ti[q][t];
            }
        }
        std::memcpy(re, yr, sizeof yr);
        std::memcpy(im, yi, sizeof yi);
    }
}

// Butterfly j of a block: rows a (E0), c (E2), b (E1), d (E3) a quarter
// apart; output q goes to quarter q.
template <bool Inverse>
[[gnu::noinline]] void columnRadix4Stage(float* __restrict re, float* __restrict im, Index n,
                                         Index blockLength, const float* __restrict twiddles) {
    const Index quarter = blockLength / 4;
    const Index step = kColumns * quarter;
    const Index groupStride = 6 * (n / blockLength);
    for (Index block = 0; block < n; block += blockLength) {
        for (Index j = 0; j < quarter; ++j) {
            float w[6];
            std::memcpy(w, twiddles + j * groupStride, sizeof w);
            float* r = re + kColumns * (block + j);
            float* i = im + kColumns * (block + j);
            float yr[4][kColumns], yi[4][kColumns];
            for (int t = 0; t < kColumns; ++t) {
                float br, bi, cr, ci, dr, di;
                sigTwiddle<Inverse>(r[2 * step + t], i[2 * step + t], w[0], w[1], br, bi);
                sigTwiddle<Inverse>(r[step + t], i[step + t], w[2], w[3], cr, ci);
                sigTwiddle<Inverse>(r[3 * step + t], i[3 * step + t], w[4], w[5], dr, di);
                const sigRadix4Outputs y = sigRadix4<Inverse>(r[t], i[t], br, bi, cr, ci, dr, di);
                for (int q = 0; q < 4; ++q) {
                    yr[q][t] = y.re[q];
                    yi[q][t] = y.im[q];
                }
            }
            for (int q = 0; q < 4; ++q) {
                std::memcpy(r + q * step, yr[q], sizeof yr[q]);
                std::memcpy(i + q * step, yi[q], sizeof yi[q]);
            }
        }
    }
}

template <bool Inverse> void columnPasses(float* re, float* im, int q, const float* twiddles) {
    const std::ptrdiff_t n = std::ptrdiff_t{1} << q;
    columnFourPoint<Inverse>(re, im, n);
    std::ptrdiff_t blockLength = 16;
    if (q % 2 == 1) {
        const float* w = twiddles + 6 * (n / 8);
        columnRadix2<Inverse>(re, im, n, w[0], w[1]);
        blockLength = 32;
    }
    for (; blockLength <= n; blockLength *= 4)
        columnRadix4Stage<Inverse>(re, im, n, blockLength, twiddles);
}

} // namespace

void columnsForward(float* re, float* im, int q, const float* twiddles) {
    columnPasses<false>(re, im, q, twiddles);
}

void columnsInverse(float* re, float* im, int q, const float* twiddles) {
    columnPasses<true>(re, im, q, twiddles);
}

} // namespace SIG_PLANE_BUILD
