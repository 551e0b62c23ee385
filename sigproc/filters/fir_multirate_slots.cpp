// Single-precision group kernels of the multi-rate FIR routines of slots 1 to 5.
#include "sigproc/filters/fir_multirate_slots.h"

#include "sigproc/filters/fir_multirate_rows.h"
#include "sigproc/sigproc.h"

#include <emmintrin.h>
#include <xmmintrin.h>

namespace {

using sigFirMr::Group;
using sigFirMr::Source;

#define SIG_INLINE inline __attribute__((always_inline))

// Term j of the four sums: the taps of the four rows (one tap for all in
// mode 2) and the samples of the four windows (one sample when they share a start).
template <typename Rows> SIG_INLINE __m128 taps4(const Group& g, std::int64_t j) {
    if constexpr (Rows::kOneRow) return _mm_set1_ps(g.taps[4 * j]);
    return _mm_loadu_ps(g.taps + 4 * j);
}

template <typename Rows> SIG_INLINE __m128 samples4(const float* const w[4], std::int64_t j) {
    if constexpr (Rows::kSharedStart) return _mm_set1_ps(w[0][j]);
    return _mm_setr_ps(w[0][j], w[1][j], w[2][j], w[3][j]);
}

template <typename Rows>
SIG_INLINE void windows(const Group& g, const Source& x, const float* w[4]) {
    for (int m = 0; m < 4; ++m) w[m] = x.at(Rows::kSharedStart ? g.start[0] : g.start[m]);
}

// Slot 1: one running sum per output, terms in order.
struct SseSums {
    template <typename Rows>
    __attribute__((target("sse"))) static void four(const Group& g, std::int64_t length,
                                                    const Source& x, float* y) {
        const float* w[4];
        windows<Rows>(g, x, w);
        __m128 sum = _mm_setzero_ps();
        for (std::int64_t j = 0; j < length; ++j)
            sum = _mm_add_ps(sum, _mm_mul_ps(taps4<Rows>(g, j), samples4<Rows>(w, j)));
        _mm_storeu_ps(y, sum);
    }
};

// Slots 2 to 5: even and odd terms in two sums, added at the end, so that two
// additions are in flight at once.
struct Sse2Sums {
    template <typename Rows>
    __attribute__((target("sse2"))) static void four(const Group& g, std::int64_t length,
                                                     const Source& x, float* y) {
        const float* w[4];
        windows<Rows>(g, x, w);
        __m128 even = _mm_setzero_ps();
        __m128 odd = _mm_setzero_ps();
        std::int64_t j = 0;
        for (; j + 2 <= length; j += 2) {
            even = _mm_add_ps(even, _mm_mul_ps(taps4<Rows>(g, j), samples4<Rows>(w, j)));
            odd = _mm_add_ps(odd, _mm_mul_ps(taps4<Rows>(g, j + 1), samples4<Rows>(w, j + 1)));
        }
        if (j < length)
            even = _mm_add_ps(even, _mm_mul_ps(taps4<Rows>(g, j), samples4<Rows>(w, j)));
        _mm_storeu_ps(y, _mm_add_ps(even, odd));
    }
};

} // namespace

#define SIG_FIR_MR_SLOT(suffix, isa, Kernel)                                                       \
    __attribute__((target(isa))) int sigFirMrProcessDense_32f_##suffix(                            \
        sigFirState* state, const float* src, float* dst, int numIters) {                          \
        sigFirMr::process<Kernel, sigFirMr::DenseRows>(state, src, dst, numIters);                 \
        return sigOk;                                                                              \
    }                                                                                              \
    __attribute__((target(isa))) int sigFirMrProcessDown_32f_##suffix(                             \
        sigFirState* state, const float* src, float* dst, int numIters) {                          \
        sigFirMr::process<Kernel, sigFirMr::DownRows>(state, src, dst, numIters);                  \
        return sigOk;                                                                              \
    }                                                                                              \
    __attribute__((target(isa))) int sigFirMrProcessIndexed_32f_##suffix(                          \
        sigFirState* state, const float* src, float* dst, int numIters) {                          \
        sigFirMr::process<Kernel, sigFirMr::IndexedRows>(state, src, dst, numIters);               \
        return sigOk;                                                                              \
    }

SIG_FIR_MR_SLOT(sse, "sse", SseSums)
SIG_FIR_MR_SLOT(sse2, "sse2", Sse2Sums)

#undef SIG_FIR_MR_SLOT
