#include "sigproc/fft/real_split.h"

#include "sigproc/core/wide_isa.h"

#include <immintrin.h>

// Four bins k .. k+3 and their partners n-k .. n-k-3 at a time, in SSE
// registers (every x86-64 processor has them): each lane does the scalar
// arithmetic of its pair in the same order, so the results are the scalar
// loop's bits. A step needs its two ranges apart: k + 3 < n - k - 3, which
// k + 4 <= binEnd <= n/2 gives. Where the machine has AVX2 the steps run on
// eight bins first (below), the four-bin steps and the scalar loop take the
// rest.
namespace {

struct Quad {
    __m128 re, im;
};

// Bins k .. k+3 from their interleaved pairs.
inline Quad loadAscending(const float* at) {
    const __m128 a = _mm_loadu_ps(at), b = _mm_loadu_ps(at + 4);
    return {_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)),
            _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))};
}

// Bins m, m-1, m-2, m-3 (lane order) from the pairs of m-3 .. m at `at`.
inline Quad loadDescending(const float* at) {
    const __m128 a = _mm_loadu_ps(at), b = _mm_loadu_ps(at + 4);
    return {_mm_shuffle_ps(b, a, _MM_SHUFFLE(0, 2, 0, 2)),
            _mm_shuffle_ps(b, a, _MM_SHUFFLE(1, 3, 1, 3))};
}

inline void storeAscending(float* at, Quad v) {
    _mm_storeu_ps(at, _mm_unpacklo_ps(v.re, v.im));
    _mm_storeu_ps(at + 4, _mm_unpackhi_ps(v.re, v.im));
}

inline void storeDescending(float* at, Quad v) {
    const __m128 low = _mm_unpacklo_ps(v.re, v.im), high = _mm_unpackhi_ps(v.re, v.im);
    _mm_storeu_ps(at + 4, _mm_shuffle_ps(low, low, _MM_SHUFFLE(1, 0, 3, 2)));
    _mm_storeu_ps(at, _mm_shuffle_ps(high, high, _MM_SHUFFLE(1, 0, 3, 2)));
}

// sigSplitBins on four lanes.
inline void splitFour(float* z, std::ptrdiff_t n, const float* realSplit, std::ptrdiff_t k) {
    const Quad lo = loadAscending(z + 2 * k);
    const Quad hi = loadDescending(z + 2 * (n - k - 3));
    const Quad w = loadAscending(realSplit + 2 * k); // re: h, im: e
    const __m128 diff = _mm_sub_ps(lo.re, hi.re), sum = _mm_add_ps(lo.im, hi.im);
    const __m128 l = _mm_add_ps(_mm_mul_ps(diff, w.im), _mm_mul_ps(sum, w.re));
    const __m128 g = _mm_sub_ps(_mm_mul_ps(sum, w.im), _mm_mul_ps(diff, w.re));
    storeAscending(z + 2 * k, {_mm_add_ps(hi.re, l), _mm_sub_ps(g, hi.im)});
    storeDescending(z + 2 * (n - k - 3), {_mm_sub_ps(lo.re, l), _mm_sub_ps(g, lo.im)});
}

// sigMergeBins on four lanes; p may be z.
inline void mergeFour(const float* p, float* z, std::ptrdiff_t n, const float* realRot,
                      std::ptrdiff_t k) {
    const Quad lo = loadAscending(p + 2 * k);
    const Quad hi = loadDescending(p + 2 * (n - k - 3));
    const Quad w = loadAscending(realRot + 2 * k); // re: h, im: e
    const __m128 diff = _mm_sub_ps(lo.re, hi.re), sum = _mm_add_ps(lo.im, hi.im);
    const __m128 l = _mm_sub_ps(_mm_mul_ps(diff, w.im), _mm_mul_ps(sum, w.re));
    const __m128 q = _mm_add_ps(_mm_mul_ps(diff, w.re), _mm_mul_ps(sum, w.im));
    const __m128 both = _mm_add_ps(lo.re, hi.re), apart = _mm_sub_ps(lo.im, hi.im);
    storeAscending(z + 2 * k, {_mm_add_ps(both, l), _mm_add_ps(apart, q)});
    storeDescending(z + 2 * (n - k - 3), {_mm_sub_ps(both, l), _mm_sub_ps(q, apart)});
}

// The same steps on eight bins in AVX2 registers, run where the machine has
// them. The lanes hold the bins in the order 0 1 4 5 2 3 6 7 (what the
// in-lane shuffles give without a cross-lane move); the partners and the
// table are loaded into the same order, so each lane still does one pair's
// scalar arithmetic. A step needs k + 7 < n - k - 7, which k + 8 <= binEnd
// <= n/2 gives.
struct Octet {
    __m256 re, im;
};

// Reverses the order of the four (re, im) pairs of a register.
SIG_TARGET_AVX2 inline __m256 reversePairs(__m256 v) {
    return _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(6, 7, 4, 5, 2, 3, 0, 1));
}

SIG_TARGET_AVX2 inline Octet loadAscendingEight(const float* at) {
    const __m256 a = _mm256_loadu_ps(at), b = _mm256_loadu_ps(at + 8);
    return {_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)),
            _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))};
}

// Bins m, m-1, ..., m-7 (in the lane order above) from the pairs of m-7 .. m.
SIG_TARGET_AVX2 inline Octet loadDescendingEight(const float* at) {
    const __m256 a = reversePairs(_mm256_loadu_ps(at + 8));
    const __m256 b = reversePairs(_mm256_loadu_ps(at));
    return {_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)),
            _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))};
}

SIG_TARGET_AVX2 inline void storeAscendingEight(float* at, Octet v) {
    _mm256_storeu_ps(at, _mm256_unpacklo_ps(v.re, v.im));
    _mm256_storeu_ps(at + 8, _mm256_unpackhi_ps(v.re, v.im));
}

SIG_TARGET_AVX2 inline void storeDescendingEight(float* at, Octet v) {
    _mm256_storeu_ps(at + 8, reversePairs(_mm256_unpacklo_ps(v.re, v.im)));
    _mm256_storeu_ps(at, reversePairs(_mm256_unpackhi_ps(v.re, v.im)));
}

// splitFour's arithmetic on bins k .. binEnd in steps of eight; gives the next k.
SIG_TARGET_AVX2 std::ptrdiff_t splitEights(float* z, std::ptrdiff_t n, const float* realSplit,
                                           std::ptrdiff_t k, std::ptrdiff_t binEnd) {
    for (; k + 8 <= binEnd; k += 8) {
        const Octet lo = loadAscendingEight(z + 2 * k);
        const Octet hi = loadDescendingEight(z + 2 * (n - k - 7));
        const Octet w = loadAscendingEight(realSplit + 2 * k);
        const __m256 diff = _mm256_sub_ps(lo.re, hi.re), sum = _mm256_add_ps(lo.im, hi.im);
        const __m256 l = _mm256_add_ps(_mm256_mul_ps(diff, w.im), _mm256_mul_ps(sum, w.re));
        const __m256 g = _mm256_sub_ps(_mm256_mul_ps(sum, w.im), _mm256_mul_ps(diff, w.re));
        storeAscendingEight(z + 2 * k, {_mm256_add_ps(hi.re, l), _mm256_sub_ps(g, hi.im)});
        storeDescendingEight(z + 2 * (n - k - 7),
                             {_mm256_sub_ps(lo.re, l), _mm256_sub_ps(g, lo.im)});
    }
    return k;
}

// mergeFour's arithmetic likewise; p may be z.
SIG_TARGET_AVX2 std::ptrdiff_t mergeEights(const float* p, float* z, std::ptrdiff_t n,
                                           const float* realRot, std::ptrdiff_t k,
                                           std::ptrdiff_t binEnd) {
    for (; k + 8 <= binEnd; k += 8) {
        const Octet lo = loadAscendingEight(p + 2 * k);
        const Octet hi = loadDescendingEight(p + 2 * (n - k - 7));
        const Octet w = loadAscendingEight(realRot + 2 * k);
        const __m256 diff = _mm256_sub_ps(lo.re, hi.re), sum = _mm256_add_ps(lo.im, hi.im);
        const __m256 l = _mm256_sub_ps(_mm256_mul_ps(diff, w.im), _mm256_mul_ps(sum, w.re));
        const __m256 q = _mm256_add_ps(_mm256_mul_ps(diff, w.re), _mm256_mul_ps(sum, w.im));
        const __m256 both = _mm256_add_ps(lo.re, hi.re), apart = _mm256_sub_ps(lo.im, hi.im);
        storeAscendingEight(z + 2 * k, {_mm256_add_ps(both, l), _mm256_add_ps(apart, q)});
        storeDescendingEight(z + 2 * (n - k - 7),
                             {_mm256_sub_ps(both, l), _mm256_sub_ps(q, apart)});
    }
    return k;
}

bool eightLanes() { return sigWideIsaOfMachine() != sigWideIsa::baseline; }

} // namespace

void sigFftRealPostFwdHead_32f(float* z, std::ptrdiff_t n, const float* realSplit,
                               std::ptrdiff_t binEnd) {
    const float d0 = z[0];
    const float d1 = z[1];
    z[0] = d0 + d1;
    z[1] = d0 - d1;
    std::ptrdiff_t k = 1;
    if (eightLanes()) k = splitEights(z, n, realSplit, k, binEnd);
    for (; k + 4 <= binEnd; k += 4) splitFour(z, n, realSplit, k);
    for (; k < binEnd; ++k) {
        float* lo = z + 2 * k;
        float* hi = z + 2 * (n - k);
        const sigBinPair x =
            sigSplitBins(lo[0], lo[1], hi[0], hi[1], realSplit[2 * k], realSplit[2 * k + 1]);
        lo[0] = x.loRe;
        lo[1] = x.loIm;
        hi[0] = x.hiRe;
        hi[1] = x.hiIm;
    }
}

void sigFftRealPostFwd_32f(float* z, std::ptrdiff_t n, const float* realSplit) {
    sigFftRealPostFwdHead_32f(z, n, realSplit, n / 2);
    z[n + 1] = -z[n + 1];
}

void sigFftRealPreInvHead_32f(const float* p, float* z, std::ptrdiff_t n, const float* realRot,
                              std::ptrdiff_t binEnd) {
    // Both inputs are read before either output is written: p may be z.
    const float dc = p[0];
    const float nyquist = p[1];
    z[1] = dc - nyquist;
    z[0] = dc + nyquist;
    std::ptrdiff_t k = 1;
    if (eightLanes()) k = mergeEights(p, z, n, realRot, k, binEnd);
    for (; k + 4 <= binEnd; k += 4) mergeFour(p, z, n, realRot, k);
    for (; k < binEnd; ++k) {
        const float* lo = p + 2 * k;
        const float* hi = p + 2 * (n - k);
        const sigBinPair x =
            sigMergeBins(lo[0], lo[1], hi[0], hi[1], realRot[2 * k], realRot[2 * k + 1]);
        z[2 * k] = x.loRe;
        z[2 * k + 1] = x.loIm;
        z[2 * (n - k)] = x.hiRe;
        z[2 * (n - k) + 1] = x.hiIm;
    }
}

void sigFftRealPreInvMiddle_32f(const float* p, float* z, std::ptrdiff_t n) {
    const float middleRe = p[n];
    const float middleIm = p[n + 1];
    z[n] = 2 * middleRe;
    z[n + 1] = -2 * middleIm;
}

void sigFftRealPreInv_32f(const float* p, float* z, std::ptrdiff_t n, const float* realRot) {
    sigFftRealPreInvHead_32f(p, z, n, realRot, n / 2);
    sigFftRealPreInvMiddle_32f(p, z, n);
}
