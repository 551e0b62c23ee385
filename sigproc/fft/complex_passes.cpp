#include "sigproc/fft/complex_passes.h"

#include "sigproc/fft/complex_math.h"

#include <cstddef>

namespace {

// Each group of four values holds its inputs in bit-reversed order
// (samples 0, 2, 1, 3 of the group's subsequence).
template <bool Inverse> void fourPointStage(float* data, std::ptrdiff_t n) {
    for (std::ptrdiff_t g = 0; g < n; g += 4) {
        float* v = data + 2 * g;
        const sigRadix4Outputs y =
            sigRadix4<Inverse>(v[0], v[1], v[4], v[5], v[2], v[3], v[6], v[7]);
        for (int q = 0; q < 4; ++q) {
            v[2 * q] = y.re[q];
            v[2 * q + 1] = y.im[q];
        }
    }
}

// Joins the two 4-point halves of every group of eight.
template <bool Inverse> void radix2Stage(float* data, std::ptrdiff_t n, float wr, float wi) {
    for (std::ptrdiff_t g = 0; g < n; g += 8) {
        float* e = data + 2 * g;
        float* o = e + 8;
        float oRe[4], oIm[4], tRe[4], tIm[4];
        for (int q = 0; q < 4; ++q) {
            oRe[q] = o[2 * q];
            oIm[q] = o[2 * q + 1];
        }
        sigEighthTurns<Inverse>(oRe, oIm, wr, wi, tRe, tIm);
        for (int q = 0; q < 4; ++q) {
            const float er = e[2 * q], ei = e[2 * q + 1];
            e[2 * q] = er + tRe[q];
            e[2 * q + 1] = ei + tIm[q];
            o[2 * q] = er - tRe[q];
            o[2 * q + 1] = ei - tIm[q];
        }
    }
}

// One radix-4 stage of block length L: each block holds the quarter-length
// transforms E0, E2, E1, E3 in this order; butterfly j reads twiddle group
// j*(n/L) and writes its outputs at offsets j + q*L/4.
template <bool Inverse>
void radix4Stage(float* data, std::ptrdiff_t n, std::ptrdiff_t blockLength, const float* twiddles) {
    const std::ptrdiff_t quarter = blockLength / 4;
    const std::ptrdiff_t groupStride = 6 * (n / blockLength);
    for (std::ptrdiff_t block = 0; block < n; block += blockLength) {
        float* e[4] = {data + 2 * block, data + 2 * (block + quarter),
                       data + 2 * (block + 2 * quarter),
                       data + 2 * (block + 3 * quarter)}; // E0, E2, E1, E3
        for (std::ptrdiff_t j = 0; j < quarter; ++j) {
            const float* w = twiddles + j * groupStride;
            float br, bi, cr, ci, dr, di;
            sigTwiddle<Inverse>(e[2][2 * j], e[2][2 * j + 1], w[0], w[1], br, bi);
            sigTwiddle<Inverse>(e[1][2 * j], e[1][2 * j + 1], w[2], w[3], cr, ci);
            sigTwiddle<Inverse>(e[3][2 * j], e[3][2 * j + 1], w[4], w[5], dr, di);
            const sigRadix4Outputs y =
                sigRadix4<Inverse>(e[0][2 * j], e[0][2 * j + 1], br, bi, cr, ci, dr, di);
            for (int q = 0; q < 4; ++q) {
                e[q][2 * j] = y.re[q];
                e[q][2 * j + 1] = y.im[q];
            }
        }
    }
}

template <bool Inverse> void passes(float* data, int q, const float* twiddles) {
    const std::ptrdiff_t n = std::ptrdiff_t{1} << q;
    fourPointStage<Inverse>(data, n);
    std::ptrdiff_t blockLength = 16;
    if (q % 2 == 1) {
        const float* w = twiddles + 6 * (n / 8);
        radix2Stage<Inverse>(data, n, w[0], w[1]);
        blockLength = 32;
    }
    for (; blockLength <= n; blockLength *= 4) radix4Stage<Inverse>(data, n, blockLength, twiddles);
}

} // namespace

void sigFftPassesFwd_32fc(float* data, int q, const float* twiddles) {
    passes<false>(data, q, twiddles);
}

void sigFftPassesInv_32fc(float* data, int q, const float* twiddles) {
    passes<true>(data, q, twiddles);
}
