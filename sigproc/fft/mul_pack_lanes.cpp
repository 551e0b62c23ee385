// One body written on vectors of `Width` doubles (Width / 2 bins): the real
// parts duplicated times b gives (ar·br, ar·bi), the imaginary parts
// duplicated times b with its pairs swapped gives (ai·bi, ai·br); the even
// lanes of the difference and the odd lanes of the sum are the bin.
#include "sigproc/fft/mul_pack_lanes.h"

#include <immintrin.h>

#include <cstring>

// The helpers take vectors wider than the baseline's registers, but they are
// always inlined into a build that has them, so no call crosses the ABI gcc
// warns about.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

// Spelled out per width: gcc drops the vector size of a typedef that depends
// on a template parameter, and splits the eight-lane widening in two unless
// told the instruction.
template <int Width> struct BinLanes;
template <> struct BinLanes<2> {
    using D = double __attribute__((vector_size(16)));
    using F = float __attribute__((vector_size(8)));
    [[gnu::always_inline]] static void widen(const float* p, D& out) {
        F f;
        std::memcpy(&f, p, sizeof f);
        out = __builtin_convertvector(f, D);
    }
    [[gnu::always_inline]] static void bins(const D& a, const D& b, D& out) {
        const D re = __builtin_shufflevector(a, a, 0, 0);
        const D im = __builtin_shufflevector(a, a, 1, 1);
        const D swapped = __builtin_shufflevector(b, b, 1, 0);
        const D p = re * b;
        const D q = im * swapped;
        out = __builtin_shufflevector(p - q, p + q, 0, 3);
    }
};
template <> struct BinLanes<4> {
    using D = double __attribute__((vector_size(32)));
    using F = float __attribute__((vector_size(16)));
    [[gnu::always_inline]] static void widen(const float* p, D& out) {
        F f;
        std::memcpy(&f, p, sizeof f);
        out = __builtin_convertvector(f, D);
    }
    [[gnu::always_inline]] static void bins(const D& a, const D& b, D& out) {
        const D re = __builtin_shufflevector(a, a, 0, 0, 2, 2);
        const D im = __builtin_shufflevector(a, a, 1, 1, 3, 3);
        const D swapped = __builtin_shufflevector(b, b, 1, 0, 3, 2);
        const D p = re * b;
        const D q = im * swapped;
        out = __builtin_shufflevector(p - q, p + q, 0, 5, 2, 7);
    }
};
// The masked widening with every lane set: gcc 12's header for the plain one
// trips its own uninitialised-use warning.
template <> struct BinLanes<8> {
    using D = double __attribute__((vector_size(64)));
    using F = float __attribute__((vector_size(32)));
    SIG_TARGET_AVX512 static void widen(const float* p, D& out) {
        out = _mm512_maskz_cvtps_pd(0xFF, _mm256_loadu_ps(p));
    }
    [[gnu::always_inline]] static void bins(const D& a, const D& b, D& out) {
        const D re = __builtin_shufflevector(a, a, 0, 0, 2, 2, 4, 4, 6, 6);
        const D im = __builtin_shufflevector(a, a, 1, 1, 3, 3, 5, 5, 7, 7);
        const D swapped = __builtin_shufflevector(b, b, 1, 0, 3, 2, 5, 4, 7, 6);
        const D p = re * b;
        const D q = im * swapped;
        out = __builtin_shufflevector(p - q, p + q, 0, 9, 2, 11, 4, 13, 6, 15);
    }
};

template <int Width>
[[gnu::always_inline]] inline void binBlock(const float* a, const float* b, float* dst) {
    using L = BinLanes<Width>;
    typename L::D wa, wb, out;
    L::widen(a, wa);
    L::widen(b, wb);
    L::bins(wa, wb, out);
    const typename L::F narrow = __builtin_convertvector(out, typename L::F);
    std::memcpy(dst, &narrow, sizeof narrow);
}

template <int Width>
[[gnu::always_inline]] inline void binRun(const float* a, const float* b, float* dst,
                                          std::ptrdiff_t bins) {
    const std::ptrdiff_t len = 2 * bins;
    std::ptrdiff_t i = 0;
#pragma GCC unroll 2
    for (; i + Width <= len; i += Width) binBlock<Width>(a + i, b + i, dst + i);
    for (; i < len; i += 2) binBlock<2>(a + i, b + i, dst + i);
}

void binsSse2(const float* a, const float* b, float* dst, std::ptrdiff_t bins) {
    binRun<2>(a, b, dst, bins);
}
[[gnu::flatten]] SIG_TARGET_AVX2 void binsAvx2(const float* a, const float* b, float* dst,
                                               std::ptrdiff_t bins) {
    binRun<4>(a, b, dst, bins);
}
[[gnu::flatten]] SIG_TARGET_AVX512 void binsAvx512(const float* a, const float* b, float* dst,
                                                   std::ptrdiff_t bins) {
    binRun<8>(a, b, dst, bins);
}

} // namespace

const sigWideVariants<sigMulPackBins> sigMulPackBinRuns{binsSse2, binsAvx2, binsAvx512};
