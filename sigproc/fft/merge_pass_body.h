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
#include <cstddef>

#include <emmintrin.h>

namespace SIG_PLANE_BUILD {

namespace {

// Four butterflies at a time in vector registers, with the scalar operations
// lane by lane: values and twiddles split into real and imaginary parts by
// shuffles, so the compiler meets no interleaved complex product (which it may
// fuse into one multiply-add, giving other bits than the scalar passes).
struct MergeQuad {
    __m128 re, im;
};

inline MergeQuad mergeLoadValues(const float* at) {
    const __m128 a = _mm_loadu_ps(at), b = _mm_loadu_ps(at + 4);
    return {_mm_shuffle_ps(a, b, 0x88), _mm_shuffle_ps(a, b, 0xDD)};
}

inline MergeQuad mergeLoadValues2(__m128 a, __m128 b) {
    return {_mm_shuffle_ps(a, b, 0x88), _mm_shuffle_ps(a, b, 0xDD)};
}

inline void mergeStoreValues(float* at, MergeQuad v) {
    _mm_storeu_ps(at, _mm_unpacklo_ps(v.re, v.im));
    _mm_storeu_ps(at + 4, _mm_unpackhi_ps(v.re, v.im));
}

// Twiddles k .. k+3 at rot[stride * k]; Turned: -i times them.
template <bool Turned, std::ptrdiff_t Stride>
inline MergeQuad mergeLoadTwiddles(const float* rot, std::ptrdiff_t stride) {
    MergeQuad w;
    if constexpr (Stride == 2) {
        w = mergeLoadValues(rot);
    } else {
        const auto pair = [&](std::ptrdiff_t k) {
            return _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(rot + stride * k)));
        };
        w = mergeLoadValues2(_mm_movelh_ps(pair(0), pair(1)), _mm_movelh_ps(pair(2), pair(3)));
    }
    if constexpr (Turned) return {w.im, _mm_xor_ps(w.re, _mm_set1_ps(-0.0f))};
    return w;
}

// count butterflies of one pass (a multiple of four), twiddle k at
// rot[stride * k] (Stride when not 0, the strides the 2^11 and 2^12 joins
// use); Turned: the upper half, whose twiddle is -i times the table's.
template <bool Inverse, bool Turned, std::ptrdiff_t Stride>
[[gnu::noinline]] void mergeRun(float* e, float* o, const float* rot, std::ptrdiff_t count,
                                std::ptrdiff_t stride) {
    if constexpr (Stride != 0) stride = Stride;
    for (std::ptrdiff_t k = 0; k < count; k += 4) {
        const MergeQuad w = mergeLoadTwiddles<Turned, Stride>(rot + stride * k, stride);
        const MergeQuad x = mergeLoadValues(o + 2 * k);
        __m128 tr, ti;
        if constexpr (Inverse) {
            tr = _mm_add_ps(_mm_mul_ps(x.re, w.re), _mm_mul_ps(x.im, w.im));
            ti = _mm_sub_ps(_mm_mul_ps(x.im, w.re), _mm_mul_ps(x.re, w.im));
        } else {
            tr = _mm_sub_ps(_mm_mul_ps(x.re, w.re), _mm_mul_ps(x.im, w.im));
            ti = _mm_add_ps(_mm_mul_ps(x.im, w.re), _mm_mul_ps(x.re, w.im));
        }
        const MergeQuad v = mergeLoadValues(e + 2 * k);
        mergeStoreValues(e + 2 * k, {_mm_add_ps(v.re, tr), _mm_add_ps(v.im, ti)});
        mergeStoreValues(o + 2 * k, {_mm_sub_ps(v.re, tr), _mm_sub_ps(v.im, ti)});
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
