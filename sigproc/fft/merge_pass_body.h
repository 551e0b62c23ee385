// The chunks of the blocked transform (2^11 and 2^12 values), one build per
// vector instruction set, included by each plane build after plane_fft_body.h,
// whose stages it runs (same namespace, same target).
//
// Each 1024-point piece runs the stages of the plane transforms through the
// working copy, gathered from its bit-reversed values or straight from
// natural order (no bit reversal first), and its outputs stay in planes: they
// go back over the piece's own values in blocks of W real parts followed by
// their W imaginary parts (W the lanes of the build's registers), a block in
// the room its values take interleaved. The merge passes then read block j of
// every piece once and write the joined values, interleaved, in the same room.
// A pass joins adjacent transforms E, O of length L into
// X[k] = E[k] + w_k O[k], X[k+L] = E[k] - w_k O[k], w_k = exp(-i*pi*k/L)
// (conjugated inverse); the rotation table holds w_k for k < L/2 with a stride
// of 2^c/(2L) values, and w_(k+L/2) = -i * w_k. Of 2^12 values both passes
// run in one sweep: block j of the four pieces gives block j of each quarter
// of the result, the first pass's two joins then the second's. Lane by lane
// every operation is the scalar one in the scalar order (the piece stages,
// the scaling of each piece, the passes one after the other), so every build
// gives the scalar bits.
//
// No include guard: a build includes it once, after plane_fft_body.h.
#include <array>
#include <cstddef>
#include <cstdint>
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

// Twiddles 0 .. W-1 of rot, twiddle k at value Stride * k (Stride 1 or 2);
// Turned: -i times them.
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

// Twiddles k .. k+W-1 of a pass of length half: turned from half / 2 on.
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

// The last stage's outputs of a piece as its blocks at `values`, times the
// scale when there is one: position p goes to lane p % W of block p / W.
template <int W> struct ToBlocks {
    float* values;
    const float* scale;
    template <typename V> void operator()(Index q, Index j, V yr, V yi) const {
        static_assert(W >= 4 * kUnitsPerRegister<V>, "a register's positions share a block");
        if (scale != nullptr) {
            V factor;
            vBroadcast(factor, *scale);
            yr = vMul(yr, factor);
            yi = vMul(yi, factor);
        }
        const Index p = q * (kPieceLength / 4) + j;
        float* block = values + 2 * W * (p / W) + p % W;
        vStoreRow(yr, block);
        vStoreRow(yi, block + W);
    }
};

// The stages of a piece whose first stages load their groups with `load`
// into the working copy, its outputs left as blocks at `values`.
template <bool Inverse, int W, typename LoadGroup>
[[gnu::noinline]] void stagesToBlocks(Planes copy, float* values, const float* twiddles,
                                      const float* scale, LoadGroup load) {
    firstStagesWidest<Inverse>(copy, sigFftPieceOrder, twiddles, load);
    laterStages<Inverse>(copy, sigFftPieceOrder, twiddles);
    lastStageWidestWith<Inverse>(copy, kPieceLength, twiddles, ToBlocks<W>{values, scale});
}

// The same from the unit layout already gathered in the working copy.
template <bool Inverse, int W>
void stagesToBlocks(Planes copy, float* values, const float* twiddles, const float* scale) {
    stagesToBlocks<Inverse, W>(copy, values, twiddles, scale, FromUnits{copy});
}

// Unit r of a piece takes lanes 4 * rev8(r) .. 4 * rev8(r) + 3 of the piece's
// values in natural order (rev8: the bit reversal of eight bits).
constexpr std::array<std::uint8_t, 256> kReversed8 = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = 0;
        for (unsigned b = 0; b < 8; ++b) r |= ((i >> b) & 1U) << (7 - b);
        table[i] = static_cast<std::uint8_t>(r);
    }
    return table;
}();

// From natural order each piece is gathered into the working copy when its
// turn comes, with no bit reversal first: what the later pieces need is kept
// packed in dst above what is still to be read, and each piece leaves its
// outputs in the region the values before it have left free.
//
// 2^11 values: piece p (its values x[2t + p] after the bit reversal) has in
// lane a of unit r the value x[8 * rev8(r) + 2a + p]. One sweep from the top
// takes each run of eight values apart: the even ones go to piece 0's working
// copy, the odd ones as a unit (four real parts, four imaginary parts) to
// float 2048 + 8s, which the sweep has already read (2048 + 8s >= 16s).
template <int W> [[gnu::noinline]] void sweepHalves(const float* src, float* dst, Planes copy) {
    for (Index s = kPieceLength / 4 - 1; s >= 0; --s) {
        const float* run = src + 16 * s;
        const Index r = kReversed8[static_cast<std::size_t>(s)];
        float* unit = dst + 2 * kPieceLength + 8 * s;
        if constexpr (W >= 8) {
            // Real parts r0 r1 r4 r5 | r2 r3 r6 r7 (imaginary alike), then
            // evens | odds.
            const __m256 a = _mm256_loadu_ps(run), b = _mm256_loadu_ps(run + 8);
            const __m256i order = _mm256_setr_epi32(0, 4, 2, 6, 1, 5, 3, 7);
            const __m256 re = _mm256_permutevar8x32_ps(_mm256_shuffle_ps(a, b, 0x88), order);
            const __m256 im = _mm256_permutevar8x32_ps(_mm256_shuffle_ps(a, b, 0xDD), order);
            _mm_storeu_ps(copy.re + 4 * r, _mm256_castps256_ps128(re));
            _mm_storeu_ps(copy.im + 4 * r, _mm256_castps256_ps128(im));
            _mm_storeu_ps(unit, _mm256_extractf128_ps(re, 1));
            _mm_storeu_ps(unit + 4, _mm256_extractf128_ps(im, 1));
        } else {
            const __m128 a = _mm_loadu_ps(run), b = _mm_loadu_ps(run + 4);
            const __m128 c = _mm_loadu_ps(run + 8), d = _mm_loadu_ps(run + 12);
            const __m128 even0 = _mm_movelh_ps(a, b), even1 = _mm_movelh_ps(c, d);
            const __m128 odd0 = _mm_movehl_ps(b, a), odd1 = _mm_movehl_ps(d, c);
            _mm_storeu_ps(copy.re + 4 * r, _mm_shuffle_ps(even0, even1, 0x88));
            _mm_storeu_ps(copy.im + 4 * r, _mm_shuffle_ps(even0, even1, 0xDD));
            _mm_storeu_ps(unit, _mm_shuffle_ps(odd0, odd1, 0x88));
            _mm_storeu_ps(unit + 4, _mm_shuffle_ps(odd0, odd1, 0xDD));
        }
    }
}

// 2^12 values: piece p has in lane a of unit r the value
// x[16 * rev8(r) + 4a + rev2(p)]. One sweep from the top transposes each run
// of sixteen values into four units: piece 0's to the working copy, those of
// pieces 1, 2, 3 packed as a group at float 2048 + 24s (>= 32s, already read).
template <int W> [[gnu::noinline]] void sweepQuarters(const float* src, float* dst, Planes copy) {
    for (Index s = kPieceLength / 4 - 1; s >= 0; --s) {
        const float* run = src + 32 * s;
        const Index r = kReversed8[static_cast<std::size_t>(s)];
        float* group = dst + 2 * kPieceLength + 24 * s;
        if constexpr (W >= 8) {
            // Values as pairs of floats: rows 4a .. 4a+3 transposed into
            // columns j, j+4, j+8, j+12, then each column split into its
            // real parts | imaginary parts (a unit as the groups hold it).
            __m256d row[4];
            for (int a = 0; a < 4; ++a)
                row[a] = _mm256_loadu_pd(reinterpret_cast<const double*>(run + 8 * a));
            const __m256d t0 = _mm256_unpacklo_pd(row[0], row[1]),
                          t1 = _mm256_unpackhi_pd(row[0], row[1]);
            const __m256d t2 = _mm256_unpacklo_pd(row[2], row[3]),
                          t3 = _mm256_unpackhi_pd(row[2], row[3]);
            const __m256d column[4] = {
                _mm256_permute2f128_pd(t0, t2, 0x20), _mm256_permute2f128_pd(t1, t3, 0x20),
                _mm256_permute2f128_pd(t0, t2, 0x31), _mm256_permute2f128_pd(t1, t3, 0x31)};
            const __m256i parts = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
            __m256 unit[4];
            for (int j = 0; j < 4; ++j)
                unit[j] = _mm256_permutevar8x32_ps(_mm256_castpd_ps(column[j]), parts);
            _mm_storeu_ps(copy.re + 4 * r, _mm256_castps256_ps128(unit[0]));
            _mm_storeu_ps(copy.im + 4 * r, _mm256_extractf128_ps(unit[0], 1));
            _mm256_storeu_ps(group, unit[2]);
            _mm256_storeu_ps(group + 8, unit[1]);
            _mm256_storeu_ps(group + 16, unit[3]);
        } else {
            __m128 re[4], im[4]; // row a: values 4a .. 4a+3 of the run
            for (int a = 0; a < 4; ++a) {
                const __m128 lo = _mm_loadu_ps(run + 8 * a), hi = _mm_loadu_ps(run + 8 * a + 4);
                re[a] = _mm_shuffle_ps(lo, hi, 0x88);
                im[a] = _mm_shuffle_ps(lo, hi, 0xDD);
            }
            _MM_TRANSPOSE4_PS(re[0], re[1], re[2], re[3]);
            _MM_TRANSPOSE4_PS(im[0], im[1], im[2], im[3]);
            // Now re[j], im[j]: the unit of the piece p with rev2(p) = j.
            _mm_storeu_ps(copy.re + 4 * r, re[0]);
            _mm_storeu_ps(copy.im + 4 * r, im[0]);
            const int unitOfPiece[3] = {2, 1, 3}; // pieces 1, 2, 3
            for (int slot = 0; slot < 3; ++slot) {
                _mm_storeu_ps(group + 8 * slot, re[unitOfPiece[slot]]);
                _mm_storeu_ps(group + 8 * slot + 4, im[unitOfPiece[slot]]);
            }
        }
    }
}

// Groups of Slots units (8 floats each) from `groups` on: the first unit of
// group s to unit rev8(s) of the working copy, the others packed again as a
// group at `moveTo` + 8 * (Slots - 1) * s. From the top, so that nothing is
// written over a group not yet read (moveTo lies 2048 floats above groups,
// and the groups shrink by a unit: 2048 + 8(Slots-1)s >= 8 Slots s).
template <int W, Index Slots>
[[gnu::noinline]] void gatherPacked(const float* groups, Planes copy, float* moveTo) {
    for (Index s = kPieceLength / 4 - 1; s >= 0; --s) {
        const float* group = groups + 8 * Slots * s;
        const Index r = kReversed8[static_cast<std::size_t>(s)];
        float* to = moveTo + 8 * (Slots - 1) * s;
        if constexpr (W >= 8) {
            __m256 unit[Slots];
            for (Index t = 0; t < Slots; ++t) unit[t] = _mm256_loadu_ps(group + 8 * t);
            _mm_storeu_ps(copy.re + 4 * r, _mm256_castps256_ps128(unit[0]));
            _mm_storeu_ps(copy.im + 4 * r, _mm256_extractf128_ps(unit[0], 1));
            for (Index t = 1; t < Slots; ++t) _mm256_storeu_ps(to + 8 * (t - 1), unit[t]);
        } else {
            __m128 unit[2 * Slots];
            for (Index t = 0; t < 2 * Slots; ++t) unit[t] = _mm_loadu_ps(group + 4 * t);
            _mm_storeu_ps(copy.re + 4 * r, unit[0]);
            _mm_storeu_ps(copy.im + 4 * r, unit[1]);
            for (Index t = 2; t < 2 * Slots; ++t) _mm_storeu_ps(to + 4 * (t - 2), unit[t]);
        }
    }
}

template <bool Inverse, int W>
void chunkTransform(const float* src, float* dst, int c, const float* twiddles, const float* rot,
                    const float* scale) {
    alignas(32) float work[2 * kPieceLength];
    const Planes copy{work, work + kPieceLength};
    const Index pieces = Index{1} << (c - sigFftPieceOrder);
    if (src == nullptr) {
        for (Index p = 0; p < pieces; ++p) {
            float* values = dst + 2 * kPieceLength * p;
            stagesToBlocks<Inverse, W>(copy, values, twiddles, scale,
                                       FromBitReversed{values, kPieceLength / 4});
        }
    } else {
        if (pieces == 2) {
            sweepHalves<W>(src, dst, copy);
        } else {
            sweepQuarters<W>(src, dst, copy);
        }
        stagesToBlocks<Inverse, W>(copy, dst, twiddles, scale);
        // Piece p's units lead the groups packed from region p on.
        float* const region[4] = {dst, dst + 2 * kPieceLength, dst + 4 * kPieceLength,
                                  dst + 6 * kPieceLength};
        if (pieces == 4) {
            gatherPacked<W, 3>(region[1], copy, region[2]);
            stagesToBlocks<Inverse, W>(copy, region[1], twiddles, scale);
            gatherPacked<W, 2>(region[2], copy, region[3]);
            stagesToBlocks<Inverse, W>(copy, region[2], twiddles, scale);
        }
        gatherPacked<W, 1>(region[pieces - 1], copy, region[pieces - 1] + 2 * kPieceLength);
        stagesToBlocks<Inverse, W>(copy, region[pieces - 1], twiddles, scale);
    }
    if (c == sigFftPieceOrder + 1) {
        joinTwoPieces<Inverse, W>(dst, rot);
    } else {
        joinFourPieces<Inverse, W>(dst, rot);
    }
}

} // namespace

template <int W>
void chunkForward(const float* src, float* dst, int c, const float* twiddles, const float* rot,
                  const float* scale) {
    chunkTransform<false, W>(src, dst, c, twiddles, rot, scale);
}

template <int W>
void chunkInverse(const float* src, float* dst, int c, const float* twiddles, const float* rot,
                  const float* scale) {
    chunkTransform<true, W>(src, dst, c, twiddles, rot, scale);
}

} // namespace SIG_PLANE_BUILD
