// The merge passes of the blocked transform, one build per vector instruction
// set, included by each plane build after plane_fft_body.h (same namespace,
// same target). A pass joins adjacent transforms E, O of length L into
// X[k] = E[k] + w_k O[k], X[k+L] = E[k] - w_k O[k], w_k = exp(-i*pi*k/L)
// (conjugated inverse); the rotation table holds w_k for k < L/2 with a
// stride of 2^c/(2L) values, and w_(k+L/2) = -i * w_k. Each half of the
// butterflies runs as one branch-free loop with the scalar operations, so
// every build gives the scalar bits.
//
// No include guard: a build includes it once, after the headers below.
#include "sigproc/fft/complex_math.h"

#include <cstddef>

namespace SIG_PLANE_BUILD {

namespace {

constexpr std::ptrdiff_t kMergeChunk = 64;

struct MergeRows {
    alignas(64) float wr[kMergeChunk];
    alignas(64) float wi[kMergeChunk];
    alignas(64) float er[kMergeChunk];
    alignas(64) float ei[kMergeChunk];
    alignas(64) float orr[kMergeChunk];
    alignas(64) float oi[kMergeChunk];
};

// The twiddles and the values of a chunk into rows: the butterflies then run
// on rows, where the compiler meets no interleaved complex product (which it
// may fuse into one multiply-add, giving other bits than the scalar passes).
template <bool Turned, std::ptrdiff_t Stride>
[[gnu::noinline]] void mergeLoad(const float* __restrict e, const float* __restrict o,
                                 const float* __restrict rot, std::ptrdiff_t stride,
                                 std::ptrdiff_t count, MergeRows& __restrict rows) {
    if constexpr (Stride != 0) stride = Stride;
    for (std::ptrdiff_t k = 0; k < count; ++k) {
        rows.wr[k] = Turned ? rot[stride * k + 1] : rot[stride * k];
        rows.wi[k] = Turned ? -rot[stride * k] : rot[stride * k + 1];
    }
    for (std::ptrdiff_t k = 0; k < count; ++k) {
        rows.er[k] = e[2 * k];
        rows.ei[k] = e[2 * k + 1];
        rows.orr[k] = o[2 * k];
        rows.oi[k] = o[2 * k + 1];
    }
}

template <bool Inverse>
[[gnu::noinline]] void mergeRows(MergeRows& __restrict rows, std::ptrdiff_t count) {
    for (std::ptrdiff_t k = 0; k < count; ++k) {
        float tr, ti;
        sigTwiddle<Inverse>(rows.orr[k], rows.oi[k], rows.wr[k], rows.wi[k], tr, ti);
        const float er = rows.er[k], ei = rows.ei[k];
        rows.er[k] = er + tr;
        rows.ei[k] = ei + ti;
        rows.orr[k] = er - tr;
        rows.oi[k] = ei - ti;
    }
}

[[gnu::noinline]] void mergeStore(const MergeRows& __restrict rows, std::ptrdiff_t count,
                                  float* __restrict e, float* __restrict o) {
    for (std::ptrdiff_t k = 0; k < count; ++k) {
        e[2 * k] = rows.er[k];
        e[2 * k + 1] = rows.ei[k];
        o[2 * k] = rows.orr[k];
        o[2 * k + 1] = rows.oi[k];
    }
}

// count butterflies of one pass, twiddle k at rot[stride * k] (Stride when
// not 0, the strides the 2^11 and 2^12 joins use); Turned: the upper half,
// whose twiddle is -i times the table's.
template <bool Inverse, bool Turned, std::ptrdiff_t Stride>
void mergeRun(float* e, float* o, const float* rot, std::ptrdiff_t count, std::ptrdiff_t stride) {
    MergeRows rows;
    for (std::ptrdiff_t start = 0; start < count; start += kMergeChunk) {
        const std::ptrdiff_t n = count - start < kMergeChunk ? count - start : kMergeChunk;
        mergeLoad<Turned, Stride>(e + 2 * start, o + 2 * start, rot + stride * start, stride, n,
                                  rows);
        mergeRows<Inverse>(rows, n);
        mergeStore(rows, n, e + 2 * start, o + 2 * start);
    }
}

template <bool Inverse, std::ptrdiff_t Stride>
void mergeHalves(float* data, std::ptrdiff_t length, std::ptrdiff_t half, const float* rot) {
    const std::ptrdiff_t quarter = half / 2;
    const std::ptrdiff_t stride = 2 * (length / (2 * half));
    for (std::ptrdiff_t base = 0; base < length; base += 2 * half) {
        float* e = data + 2 * base;
        float* o = e + 2 * half;
        mergeRun<Inverse, false, Stride>(e, o, rot, quarter, stride);
        mergeRun<Inverse, true, Stride>(e + 2 * quarter, o + 2 * quarter, rot, quarter, stride);
    }
}

template <bool Inverse>
void mergePass(float* data, std::ptrdiff_t length, std::ptrdiff_t half, const float* rot) {
    switch (length / (2 * half)) {
    case 1:
        mergeHalves<Inverse, 2>(data, length, half, rot);
        break;
    case 2:
        mergeHalves<Inverse, 4>(data, length, half, rot);
        break;
    default:
        mergeHalves<Inverse, 0>(data, length, half, rot);
        break;
    }
}

} // namespace

void mergeForward(float* data, std::ptrdiff_t length, std::ptrdiff_t half, const float* rot) {
    mergePass<false>(data, length, half, rot);
}

void mergeInverse(float* data, std::ptrdiff_t length, std::ptrdiff_t half, const float* rot) {
    mergePass<true>(data, length, half, rot);
}

} // namespace SIG_PLANE_BUILD
