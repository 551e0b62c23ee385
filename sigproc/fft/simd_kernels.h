// The vector building blocks of the processor-specific real-FFT members.
//
// Between their first and last pass the members keep complex data
// quad-planar: every group of four consecutive complex values fills 32 bytes,
// first the four real parts, then the four imaginary parts, so that a
// butterfly between groups is plain vertical arithmetic. A group is read and
// written where it lies; only the last pass turns it back into interleaved
// (re, im) pairs, over the same 32 bytes.
//
// Twiddles are stored as the groups read them: for four consecutive
// butterfly columns four cosines, then four negated sines (exp(-i x)). The
// inverse direction reads the same values as their conjugates.
//
// Everything here is SSE, which every x86-64 processor has; no access needs
// more than float alignment.
#pragma once

#include <xmmintrin.h>

#include <cstddef>

struct sigQuad {
    __m128 re;
    __m128 im;
};

inline sigQuad sigQuadLoad(const float* p) { return {_mm_loadu_ps(p), _mm_loadu_ps(p + 4)}; }

inline void sigQuadStore(float* p, sigQuad v, bool interleaved) {
    if (interleaved) {
        _mm_storeu_ps(p, _mm_unpacklo_ps(v.re, v.im));
        _mm_storeu_ps(p + 4, _mm_unpackhi_ps(v.re, v.im));
    } else {
        _mm_storeu_ps(p, v.re);
        _mm_storeu_ps(p + 4, v.im);
    }
}

inline sigQuad operator+(sigQuad a, sigQuad b) {
    return {_mm_add_ps(a.re, b.re), _mm_add_ps(a.im, b.im)};
}
inline sigQuad operator-(sigQuad a, sigQuad b) {
    return {_mm_sub_ps(a.re, b.re), _mm_sub_ps(a.im, b.im)};
}

// x times the twiddle at tw (four cosines, four negated sines), or times its
// conjugate in the inverse direction.
template <bool Inverse> inline sigQuad sigQuadTwiddle(sigQuad x, const float* tw) {
    const __m128 c = _mm_loadu_ps(tw);
    const __m128 s = _mm_loadu_ps(tw + 4);
    if constexpr (Inverse) {
        return {_mm_add_ps(_mm_mul_ps(x.re, c), _mm_mul_ps(x.im, s)),
                _mm_sub_ps(_mm_mul_ps(x.im, c), _mm_mul_ps(x.re, s))};
    } else {
        return {_mm_sub_ps(_mm_mul_ps(x.re, c), _mm_mul_ps(x.im, s)),
                _mm_add_ps(_mm_mul_ps(x.re, s), _mm_mul_ps(x.im, c))};
    }
}

// The four outputs of a radix-4 decimation-in-time butterfly whose inputs are
// already twiddled: x0 (first quarter), c (second), a (third), b (fourth):
// y0 = (x0 + c) + (a + b), y2 = (x0 + c) - (a + b), y1 = (x0 - c) -+ i(a - b),
// y3 = (x0 - c) +- i(a - b), the upper sign forward.
struct sigQuad4 {
    sigQuad y0, y1, y2, y3;
};

template <bool Inverse> inline sigQuad4 sigRadix4(sigQuad x0, sigQuad c, sigQuad a, sigQuad b) {
    const sigQuad p = x0 + c;
    const sigQuad q = x0 - c;
    const sigQuad s = a + b;
    const sigQuad d = a - b;
    // -i d = (d.im, -d.re): forward y1 = q - i d, y3 = q + i d.
    const sigQuad minusId = {_mm_add_ps(q.re, d.im), _mm_sub_ps(q.im, d.re)};
    const sigQuad plusId = {_mm_sub_ps(q.re, d.im), _mm_add_ps(q.im, d.re)};
    if constexpr (Inverse) {
        return {p + s, plusId, p - s, minusId};
    } else {
        return {p + s, minusId, p - s, plusId};
    }
}

// The 4-point transform of v0 .. v3 in natural order, lane by lane.
template <bool Inverse> inline sigQuad4 sigDft4(sigQuad v0, sigQuad v1, sigQuad v2, sigQuad v3) {
    return sigRadix4<Inverse>(v0, v2, v1, v3);
}

// Four complex values at float offsets p0 .. p3 of src, as one quad.
inline sigQuad sigQuadGather(const float* p0, const float* p1, const float* p2, const float* p3) {
    const __m128 zero = _mm_setzero_ps();
    const __m128 lo = _mm_loadh_pi(_mm_loadl_pi(zero, reinterpret_cast<const __m64*>(p0)),
                                   reinterpret_cast<const __m64*>(p1));
    const __m128 hi = _mm_loadh_pi(_mm_loadl_pi(zero, reinterpret_cast<const __m64*>(p2)),
                                   reinterpret_cast<const __m64*>(p3));
    return {_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)),
            _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1))};
}

// The 16-point transform of y[u] = the complex value at src + 2 * offsetOf(u),
// written as four quads at out (32 floats), in natural order. y[4 u1 + u0]
// goes to lane u0 of quad u1; a 4-point transform over u1, the twiddles
// exp(-+2 pi i u0 k0 / 16) from head (k0 = 1 .. 3, 8 floats each), a
// transposition and a 4-point transform over u0 give Y[4 k1 + k0] in lane k0
// of quad k1.
template <bool Inverse, typename OffsetOf>
inline void sigFftFirst16(const float* src, OffsetOf offsetOf, const float* head, float* out,
                          bool interleaved) {
    sigQuad v[4];
    for (int u1 = 0; u1 < 4; ++u1) {
        v[u1] = sigQuadGather(src + 2 * offsetOf(4 * u1), src + 2 * offsetOf(4 * u1 + 1),
                              src + 2 * offsetOf(4 * u1 + 2), src + 2 * offsetOf(4 * u1 + 3));
    }
    sigQuad4 z = sigDft4<Inverse>(v[0], v[1], v[2], v[3]);
    z.y1 = sigQuadTwiddle<Inverse>(z.y1, head);
    z.y2 = sigQuadTwiddle<Inverse>(z.y2, head + 8);
    z.y3 = sigQuadTwiddle<Inverse>(z.y3, head + 16);
    _MM_TRANSPOSE4_PS(z.y0.re, z.y1.re, z.y2.re, z.y3.re);
    _MM_TRANSPOSE4_PS(z.y0.im, z.y1.im, z.y2.im, z.y3.im);
    const sigQuad4 y = sigDft4<Inverse>(z.y0, z.y1, z.y2, z.y3);
    sigQuadStore(out, y.y0, interleaved);
    sigQuadStore(out + 8, y.y1, interleaved);
    sigQuadStore(out + 16, y.y2, interleaved);
    sigQuadStore(out + 24, y.y3, interleaved);
}

// One radix-4 pass over `count` blocks of 4 x span quad-planar values (span a
// multiple of 4): in each block the four sub-transforms of length span become
// one of length 4 span. tw holds, per group of four columns, the twiddles
// W^k, W^2k, W^3k (W = exp(-2 pi i / (4 span))), 24 floats; it starts again
// for every block. in may equal out.
template <bool Inverse, bool Interleaved>
void sigFftRadix4PassAs(const float* in, float* out, std::ptrdiff_t span, std::ptrdiff_t count,
                        const float* tw) {
    for (std::ptrdiff_t block = 0; block < count; ++block) {
        const std::ptrdiff_t base = 8 * span * block;
        const float* t = tw;
        for (std::ptrdiff_t k = 0; k < span; k += 4, t += 24) {
            const std::ptrdiff_t f = base + 2 * k;
            const sigQuad x0 = sigQuadLoad(in + f);
            const sigQuad c = sigQuadTwiddle<Inverse>(sigQuadLoad(in + f + 2 * span), t + 8);
            const sigQuad a = sigQuadTwiddle<Inverse>(sigQuadLoad(in + f + 4 * span), t);
            const sigQuad b = sigQuadTwiddle<Inverse>(sigQuadLoad(in + f + 6 * span), t + 16);
            const sigQuad4 y = sigRadix4<Inverse>(x0, c, a, b);
            sigQuadStore(out + f, y.y0, Interleaved);
            sigQuadStore(out + f + 2 * span, y.y1, Interleaved);
            sigQuadStore(out + f + 4 * span, y.y2, Interleaved);
            sigQuadStore(out + f + 6 * span, y.y3, Interleaved);
        }
    }
}

template <bool Inverse>
void sigFftRadix4Pass(const float* in, float* out, std::ptrdiff_t span, std::ptrdiff_t count,
                      const float* tw, bool interleaved) {
    if (interleaved) {
        sigFftRadix4PassAs<Inverse, true>(in, out, span, count, tw);
    } else {
        sigFftRadix4PassAs<Inverse, false>(in, out, span, count, tw);
    }
}

// One radix-2 pass over `count` blocks of 2 x span values: y(k) = x(k) + t,
// y(k + span) = x(k) - t, t = x(k + span) W^k, W = exp(-2 pi i / (2 span)).
// The twiddle of each group of four columns is at tw, then every twStride floats.
template <bool Inverse, bool Interleaved>
void sigFftRadix2PassAs(const float* in, float* out, std::ptrdiff_t span, std::ptrdiff_t count,
                        const float* tw, std::ptrdiff_t twStride) {
    for (std::ptrdiff_t block = 0; block < count; ++block) {
        const std::ptrdiff_t base = 4 * span * block;
        const float* t = tw;
        for (std::ptrdiff_t k = 0; k < span; k += 4, t += twStride) {
            const std::ptrdiff_t f = base + 2 * k;
            const sigQuad x = sigQuadLoad(in + f);
            const sigQuad product = sigQuadTwiddle<Inverse>(sigQuadLoad(in + f + 2 * span), t);
            sigQuadStore(out + f, x + product, Interleaved);
            sigQuadStore(out + f + 2 * span, x - product, Interleaved);
        }
    }
}

template <bool Inverse>
void sigFftRadix2Pass(const float* in, float* out, std::ptrdiff_t span, std::ptrdiff_t count,
                      const float* tw, std::ptrdiff_t twStride, bool interleaved) {
    if (interleaved) {
        sigFftRadix2PassAs<Inverse, true>(in, out, span, count, tw, twStride);
    } else {
        sigFftRadix2PassAs<Inverse, false>(in, out, span, count, tw, twStride);
    }
}
