// The chunks of the blocked transform (2^11 and 2^12 values), one build per
// vector instruction set, included by each plane build after plane_fft_body.h,
// whose stages it runs (same namespace, same target).
//
// Each 1024-point piece runs the stages of the plane transforms through the
// working copy, and its outputs stay in planes: they go back over the piece's
// own values in blocks of W real parts followed by their W imaginary parts
// (W the lanes of the build's registers), a block in the room its values take
// interleaved. The merge
// passes then read block j of every piece once and write the joined values,
// interleaved, in the same room. A pass joins adjacent transforms E, O of
// length L into X[k] = E[k] + w_k O[k], X[k+L] = E[k] - w_k O[k],
// w_k = exp(-i*pi*k/L) (conjugated inverse); the rotation table holds w_k for
// k < L/2 with a stride of 2^c/(2L) values, and w_(k+L/2) = -i * w_k. Of 2^12
// values both passes run in one sweep: block j of the four pieces gives block
// j of each quarter of the result, the first pass's two joins then the
// second's. Lane by lane every operation is the scalar one in the scalar
// order (the piece stages, the scaling of each piece, the passes one after
// the other), so every build gives the scalar bits.
//
// No include guard: a build includes it once, after plane_fft_body.h.
#include <cstddef>
#include <cstring>

#include <immintrin.h>

namespace SIG_PLANE_BUILD {

namespace {

constexpr Index kPieceLength = Index{1} << sigFftPieceOrder;

// W lanes in one register: SSE, AVX or AVX-512 (each build instantiates the
// width its instruction set has). Arithmetic goes through the operators, one
// scalar operation per lane; the shuffles move values, never change them.
template <int W> struct JoinRegister;
template <> struct JoinRegister<4> { using type = __m128; };
template <> struct JoinRegister<8> { using type = __m256; };
template <> struct JoinRegister<16> { using type = __m512; };
template <int W> using Lanes = typename JoinRegister<W>::type;

template <int W> inline Lanes<W> loadLanes(const float* at) {
    Lanes<W> v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

template <int W> inline void storeLanes(float* at, Lanes<W> v) { std::memcpy(at, &v, sizeof v); }

// 2W interleaved floats (a, then b) into their real and imaginary parts.
template <int W> inline void deinterleave(Lanes<W> a, Lanes<W> b, Lanes<W>& re, Lanes<W>& im) {
    if constexpr (W == 4) {
        re = _mm_shuffle_ps(a, b, 0x88);
        im = _mm_shuffle_ps(a, b, 0xDD);
    } else if constexpr (W == 8) {
        re = _mm256_castpd_ps(
            _mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, 0x88)), 0xD8));
        im = _mm256_castpd_ps(
            _mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, 0xDD)), 0xD8));
    } else {
        const __m512i even =
            _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
        const __m512i odd =
            _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
        re = _mm512_permutex2var_ps(a, even, b);
        im = _mm512_permutex2var_ps(a, odd, b);
    }
}

// Real and imaginary parts into 2W interleaved floats (lo, then hi).
template <int W> inline void interleave(Lanes<W> re, Lanes<W> im, Lanes<W>& lo, Lanes<W>& hi) {
    if constexpr (W == 4) {
        lo = _mm_unpacklo_ps(re, im);
        hi = _mm_unpackhi_ps(re, im);
    } else if constexpr (W == 8) {
        const __m256 l = _mm256_unpacklo_ps(re, im), h = _mm256_unpackhi_ps(re, im);
        lo = _mm256_permute2f128_ps(l, h, 0x20);
        hi = _mm256_permute2f128_ps(l, h, 0x31);
    } else {
        const __m512i low =
            _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
        const __m512i high =
            _mm512_setr_epi32(8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
        lo = _mm512_permutex2var_ps(re, low, im);
        hi = _mm512_permutex2var_ps(re, high, im);
    }
}

// The even complex values of a, then those of b.
template <int W> inline Lanes<W> evenValues(Lanes<W> a, Lanes<W> b) {
    if constexpr (W == 4) {
        return _mm_movelh_ps(a, b);
    } else if constexpr (W == 8) {
        const __m256d pairs = _mm256_unpacklo_pd(_mm256_castps_pd(a), _mm256_castps_pd(b));
        return _mm256_castpd_ps(_mm256_permute4x64_pd(pairs, 0xD8));
    } else {
        const __m512i even = _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14);
        return _mm512_castpd_ps(
            _mm512_permutex2var_pd(_mm512_castps_pd(a), even, _mm512_castps_pd(b)));
    }
}

// W values in planes: a block of a piece, a joined block, or W twiddles.
template <int W> struct Block { Lanes<W> re, im; };

template <int W> inline Block<W> loadBlock(const float* at) {
    return {loadLanes<W>(at), loadLanes<W>(at + W)};
}

template <int W> inline void storeInterleaved(float* at, Block<W> v) {
    Lanes<W> lo, hi;
    interleave<W>(v.re, v.im, lo, hi);
    storeLanes<W>(at, lo);
    storeLanes<W>(at + W, hi);
}

// Twiddles k .. k+W-1 at rot[Stride * k], Stride 1 or 2 values; Turned: -i
// times them.
template <int W, Index Stride, bool Turned> inline Block<W> loadTwiddles(const float* rot) {
    Block<W> w;
    if constexpr (Stride == 1) {
        deinterleave<W>(loadLanes<W>(rot), loadLanes<W>(rot + W), w.re, w.im);
    } else {
        const Lanes<W> lo = evenValues<W>(loadLanes<W>(rot), loadLanes<W>(rot + W));
        const Lanes<W> hi = evenValues<W>(loadLanes<W>(rot + 2 * W), loadLanes<W>(rot + 3 * W));
        deinterleave<W>(lo, hi, w.re, w.im);
    }
    if constexpr (Turned) return {w.im, -w.re};
    return w;
}

// The twiddles of value k of a pass of length half: turned from half / 2 on.
template <int W, Index Stride> inline Block<W> passTwiddles(const float* rot, Index k, Index half) {
    if (k < half / 2) return loadTwiddles<W, Stride, false>(rot + 2 * Stride * k);
    return loadTwiddles<W, Stride, true>(rot + 2 * Stride * (k - half / 2));
}

// e + w*o into sum, e - w*o into difference: sigTwiddle and the two sums lane
// by lane.
template <bool Inverse, int W>
inline void butterflies(Block<W> e, Block<W> o, Block<W> w, Block<W>& sum, Block<W>& difference) {
    Lanes<W> tr, ti;
    if constexpr (Inverse) {
        tr = o.re * w.re + o.im * w.im;
        ti = o.im * w.re - o.re * w.im;
    } else {
        tr = o.re * w.re - o.im * w.im;
        ti = o.im * w.re + o.re * w.im;
    }
    sum = {e.re + tr, e.im + ti};
    difference = {e.re - tr, e.im - ti};
}

// Two pieces into 2^11 values: pass L = 1024, the rotation table read value
// by value.
template <bool Inverse, int W> [[gnu::noinline]] void joinTwoPieces(float* data, const float* rot) {
    float* const upper = data + 2 * kPieceLength;
    for (Index k = 0; k < kPieceLength; k += W) {
        const Block<W> e = loadBlock<W>(data + 2 * k), o = loadBlock<W>(upper + 2 * k);
        Block<W> sum, difference;
        butterflies<Inverse, W>(e, o, passTwiddles<W, 1>(rot, k, kPieceLength), sum, difference);
        storeInterleaved<W>(data + 2 * k, sum);
        storeInterleaved<W>(upper + 2 * k, difference);
    }
}

// Four pieces into 2^12 values: pass L = 1024 (every other value of the table)
// joins pieces 0, 1 into x and 2, 3 into y; pass L = 2048 joins x and y, whose
// values k and k + 1024 meet the twiddle w_k and its turned form.
template <bool Inverse, int W>
[[gnu::noinline]] void joinFourPieces(float* data, const float* rot) {
    float* const piece[4] = {data, data + 2 * kPieceLength, data + 4 * kPieceLength,
                             data + 6 * kPieceLength};
    for (Index k = 0; k < kPieceLength; k += W) {
        Block<W> in[4];
        for (int p = 0; p < 4; ++p) in[p] = loadBlock<W>(piece[p] + 2 * k);
        const Block<W> w1 = passTwiddles<W, 2>(rot, k, kPieceLength);
        Block<W> x0, x1, y0, y1, out[4];
        butterflies<Inverse, W>(in[0], in[1], w1, x0, x1);
        butterflies<Inverse, W>(in[2], in[3], w1, y0, y1);
        butterflies<Inverse, W>(x0, y0, loadTwiddles<W, 1, false>(rot + 2 * k), out[0], out[2]);
        butterflies<Inverse, W>(x1, y1, loadTwiddles<W, 1, true>(rot + 2 * k), out[1], out[3]);
        for (int q = 0; q < 4; ++q) storeInterleaved<W>(piece[q] + 2 * k, out[q]);
    }
}

// The rows of the last stage's outputs for positions at .. at+kTwiddleChunk-1
// of a piece into their blocks, times the scale when there is one.
template <int W>
inline void storeBlocks(const float* re, const float* im, float* at, const float* scale) {
    static_assert(kTwiddleChunk % W == 0);
    for (Index h = 0; h < kTwiddleChunk; h += W, at += 2 * W) {
        Lanes<W> r = loadLanes<W>(re + h), i = loadLanes<W>(im + h);
        if (scale != nullptr) {
            r = r * *scale;
            i = i * *scale;
        }
        storeLanes<W>(at, r);
        storeLanes<W>(at + W, i);
    }
}

// The transform of the 1024 bit-reversed values at `values`, left over them as
// blocks.
template <bool Inverse, int W>
[[gnu::noinline]] void pieceToBlocks(float* values, const float* twiddles, const float* scale) {
    constexpr Index quarter = kPieceLength / 4;
    alignas(32) float work[2 * kPieceLength];
    const Planes copy{work, work + kPieceLength};
    gatherBitReversed(values, copy.re, copy.im, kPieceLength);
    innerStages<Inverse>(copy, sigFftPieceOrder, twiddles);
    ChunkTwiddles w;
    ChunkOutputs y;
    for (Index start = 0; start < quarter; start += kTwiddleChunk) {
        chunkTwiddles(twiddles + 6 * start, kTwiddleChunk, w);
        lastStageChunk<Inverse>(copy.re + 4 * start, copy.im + 4 * start, w, kTwiddleChunk, y);
        for (Index q = 0; q < 4; ++q)
            storeBlocks<W>(y.re[q], y.im[q], values + 2 * (q * quarter + start), scale);
    }
}

template <bool Inverse, int W>
void chunkTransform(float* data, int c, const float* twiddles, const float* rot,
                    const float* scale) {
    const Index pieces = Index{1} << (c - sigFftPieceOrder);
    for (Index p = 0; p < pieces; ++p)
        pieceToBlocks<Inverse, W>(data + 2 * kPieceLength * p, twiddles, scale);
    if (pieces == 2) {
        joinTwoPieces<Inverse, W>(data, rot);
    } else {
        joinFourPieces<Inverse, W>(data, rot);
    }
}

} // namespace

template <int W>
void chunkForward(float* data, int c, const float* twiddles, const float* rot, const float* scale) {
    chunkTransform<false, W>(data, c, twiddles, rot, scale);
}

template <int W>
void chunkInverse(float* data, int c, const float* twiddles, const float* rot, const float* scale) {
    chunkTransform<true, W>(data, c, twiddles, rot, scale);
}

} // namespace SIG_PLANE_BUILD
