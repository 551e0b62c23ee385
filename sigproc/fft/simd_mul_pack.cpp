// The packed-spectrum multiply of slots 1 to 5: srcDst = src x srcDst as
// packed real spectra (real DC, real Nyquist for an even length, then complex
// pairs), four pairs per step, each product rounded in single precision.
#include "sigproc/fft/simd_fft.h"
#include "sigproc/sigproc.h"

#include <pmmintrin.h>
#include <xmmintrin.h>

#include <cstddef>

namespace {

// One pair at a time: (a + ib)(c + id) = (ac - bd) + i(ad + bc).
void multiplyPair(const float* src, float* srcDst) {
    const float a = srcDst[0], b = srcDst[1], c = src[0], d = src[1];
    srcDst[0] = a * c - b * d;
    srcDst[1] = a * d + b * c;
}

// Duplicates of the srcDst parts against src and src with its parts
// exchanged, joined by one add-subtract: two products per vector.
__attribute__((target("sse3"))) void multiplyPairsDuplicating(const float* src, float* srcDst,
                                                              std::ptrdiff_t quads) {
    for (std::ptrdiff_t i = 0; i < quads; ++i, src += 8, srcDst += 8) {
        for (int half = 0; half < 8; half += 4) {
            const __m128 x = _mm_loadu_ps(srcDst + half);
            const __m128 y = _mm_loadu_ps(src + half);
            const __m128 swapped = _mm_shuffle_ps(y, y, _MM_SHUFFLE(2, 3, 0, 1));
            const __m128 product = _mm_addsub_ps(_mm_mul_ps(_mm_moveldup_ps(x), y),
                                                 _mm_mul_ps(_mm_movehdup_ps(x), swapped));
            _mm_storeu_ps(srcDst + half, product);
        }
    }
}

// Both operands split into real and imaginary vectors, multiplied, and
// interleaved again: four products per step with SSE alone.
void multiplyPairsSplitting(const float* src, float* srcDst, std::ptrdiff_t quads) {
    for (std::ptrdiff_t i = 0; i < quads; ++i, src += 8, srcDst += 8) {
        const __m128 a0 = _mm_loadu_ps(src), a1 = _mm_loadu_ps(src + 4);
        const __m128 b0 = _mm_loadu_ps(srcDst), b1 = _mm_loadu_ps(srcDst + 4);
        const __m128 ar = _mm_shuffle_ps(a0, a1, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 ai = _mm_shuffle_ps(a0, a1, _MM_SHUFFLE(3, 1, 3, 1));
        const __m128 br = _mm_shuffle_ps(b0, b1, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 bi = _mm_shuffle_ps(b0, b1, _MM_SHUFFLE(3, 1, 3, 1));
        const __m128 re = _mm_sub_ps(_mm_mul_ps(ar, br), _mm_mul_ps(ai, bi));
        const __m128 im = _mm_add_ps(_mm_mul_ps(ar, bi), _mm_mul_ps(ai, br));
        _mm_storeu_ps(srcDst, _mm_unpacklo_ps(re, im));
        _mm_storeu_ps(srcDst + 4, _mm_unpackhi_ps(re, im));
    }
}

using QuadKernel = void (*)(const float*, float*, std::ptrdiff_t);

int multiplyPacked(const float* src, float* srcDst, int len, QuadKernel kernel) {
    if (src == nullptr || srcDst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    srcDst[0] *= src[0];
    std::ptrdiff_t first = 1;
    if (len % 2 == 0) {
        srcDst[1] *= src[1];
        first = 2;
    }
    const std::ptrdiff_t pairs = (std::ptrdiff_t{len} - first) / 2;
    const std::ptrdiff_t quads = pairs / 4;
    kernel(src + first, srcDst + first, quads);
    for (std::ptrdiff_t p = 4 * quads; p < pairs; ++p)
        multiplyPair(src + first + 2 * p, srcDst + first + 2 * p);
    return sigOk;
}

} // namespace

__attribute__((target("sse4.1"))) int sigMulPackInPlace_32f_sse41(const float* src, float* srcDst,
                                                                  int len) {
    return multiplyPacked(src, srcDst, len, multiplyPairsDuplicating);
}

__attribute__((target("ssse3"))) int sigMulPackInPlace_32f_ssse3(const float* src, float* srcDst,
                                                                 int len) {
    return multiplyPacked(src, srcDst, len, multiplyPairsDuplicating);
}

__attribute__((target("sse3"))) int sigMulPackInPlace_32f_sse3(const float* src, float* srcDst,
                                                               int len) {
    return multiplyPacked(src, srcDst, len, multiplyPairsDuplicating);
}

int sigMulPackInPlace_32f_sse2(const float* src, float* srcDst, int len) {
    return multiplyPacked(src, srcDst, len, multiplyPairsSplitting);
}

int sigMulPackInPlace_32f_sse(const float* src, float* srcDst, int len) {
    return multiplyPacked(src, srcDst, len, multiplyPairsSplitting);
}
