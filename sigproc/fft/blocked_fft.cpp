#include "sigproc/fft/blocked_fft.h"

#include "sigproc/core/wide_isa.h"
#include "sigproc/fft/bit_reverse.h"
#include "sigproc/fft/bit_reverse_tiled.h"
#include "sigproc/fft/column_sweep.h"
#include "sigproc/fft/complex_math.h"
#include "sigproc/fft/complex_passes.h"
#include "sigproc/fft/plane_fft.h"
#include "sigproc/vector/arith_const.h"

#include <cstddef>
#include <cstdint>

#include <emmintrin.h>

namespace {

template <bool Inverse> class Blocked {
public:
    Blocked(const sigFftSpecHeader& spec, float* work) : spec_(spec), work_(work) {}

    // 2^11 or 2^12 values from natural order: the chunk gathers its pieces
    // itself.
    void chunkFromNaturalOrder(const float* src, float* dst, int m) const { chunk(src, dst, m); }

    void transform(float* data, int m, int depth) const {
        if (m <= sigFftPieceOrder) {
            piece(data, m);
        } else if (sigFftSplitOrder[static_cast<std::size_t>(m)] == 0) {
            chunk(nullptr, data, m);
        } else {
            level(data, m, depth);
        }
    }

private:
    // A transform of at most 1024 values with the innermost twiddles, then its scaling.
    void piece(float* data, int q) const {
        passes(data, q, spec_.table<float>(spec_.twiddles));
        const bool scaled = Inverse ? spec_.scaleInv != 0 : spec_.scaleFwd != 0;
        if (scaled) sigMulConstInPlace_32f_generic(spec_.scaleFactor, data, 2 << q);
    }

    // The passes over 2^q bit-reversed values, through the planes where they
    // can take them (the same bits either way).
    static void passes(float* data, int q, const float* twiddles) {
        if (q >= sigFftPlaneMinComplexOrder) {
            if constexpr (Inverse) {
                sigFftPlanePassesInv_32fc(data, q, twiddles);
            } else {
                sigFftPlanePassesFwd_32fc(data, q, twiddles);
            }
        } else if constexpr (Inverse) {
            sigFftPassesInv_32fc(data, q, twiddles);
        } else {
            sigFftPassesFwd_32fc(data, q, twiddles);
        }
    }

    // 2^11 or 2^12 values: 1024-point pieces, scaled, joined by merge passes;
    // from bit-reversed values in dst (src null) or natural order in src.
    void chunk(const float* src, float* dst, int c) const {
        const bool scaled = Inverse ? spec_.scaleInv != 0 : spec_.scaleFwd != 0;
        const float* scale = scaled ? &spec_.scaleFactor : nullptr;
        const float* twiddles = spec_.table<float>(spec_.twiddles);
        const float* rot = spec_.table<float>(spec_.rotTable);
        if constexpr (Inverse) {
            sigFftPlaneChunkInv_32fc(src, dst, c, twiddles, rot, scale);
        } else {
            sigFftPlaneChunkFwd_32fc(src, dst, c, twiddles, rot, scale);
        }
    }

    // B = 2^a rows of R values; row c holds its subsequence in bit-reversed
    // order, so after the row transforms column k, read down the rows, is in
    // bit-reversed order too and needs only its twiddles before its transform.
    void level(float* data, int m, int depth) const {
        const int a = sigFftSplitOrder[static_cast<std::size_t>(m)];
        const int r = m - a;
        const std::ptrdiff_t rows = std::ptrdiff_t{1} << a;
        const std::ptrdiff_t rowLength = std::ptrdiff_t{1} << r;
        for (std::ptrdiff_t c = 0; c < rows; ++c) {
            transform(data + 2 * c * rowLength, r, depth + 1);
        }

        const float* matrix = spec_.table<float>(spec_.levelMatrix[depth]);
        const float* columnTwiddles = spec_.table<float>(spec_.levelTwiddles[depth]);
        if (rows <= sigFftColumnSweepMaxRows) {
            columnsInPlanes(data, rows, rowLength, a, matrix, columnTwiddles);
        } else {
            columnsApart(data, rows, rowLength, a, matrix, columnTwiddles);
        }
    }

    // Up to sigFftColumnSweepMaxRows rows: the sweep of the widest build.
    static void columnsInPlanes(float* data, std::ptrdiff_t rows, std::ptrdiff_t rowLength, int a,
                                const float* matrix, const float* columnTwiddles) {
        const sigFftColumnSweepBuild& build = *sigFftColumnSweepBuilds.select();
        (Inverse ? build.inverse : build.forward)(data, rows, rowLength, a, matrix, columnTwiddles);
    }

    // More rows: four columns at a time in the work area, each transformed apart.
    void columnsApart(float* data, std::ptrdiff_t rows, std::ptrdiff_t rowLength, int a,
                      const float* matrix, const float* columnTwiddles) const {
        Columns columns{};
        for (int t = 0; t < 4; ++t) columns[t] = work_ + 2 * rows * t;
        for (std::ptrdiff_t g = 0; g < rowLength / 4; ++g) {
            for (std::ptrdiff_t c = 0; c < rows; ++c, matrix += 8)
                gatherRow(data + 2 * (c * rowLength + 4 * g), matrix, columns, 2 * c);
            for (int t = 0; t < 4; ++t) passes(columns[t], a, columnTwiddles);
            for (std::ptrdiff_t j = 0; j < rows; ++j)
                scatterRow(columns, 2 * j, data + 2 * (j * rowLength + 4 * g));
        }
    }

    using Columns = float* [4];

    // Four values of a row times their matrix entries (the scalar operations
    // four lanes at a time), as planes.
    static void twiddleFour(const float* from, const float* matrix, __m128& outRe, __m128& outIm) {
        const __m128 d0 = _mm_loadu_ps(from), d1 = _mm_loadu_ps(from + 4);
        const __m128 m0 = _mm_loadu_ps(matrix), m1 = _mm_loadu_ps(matrix + 4);
        const __m128 re = _mm_shuffle_ps(d0, d1, 0x88), im = _mm_shuffle_ps(d0, d1, 0xDD);
        const __m128 wr = _mm_shuffle_ps(m0, m1, 0x88), wi = _mm_shuffle_ps(m0, m1, 0xDD);
        if constexpr (Inverse) {
            outRe = _mm_add_ps(_mm_mul_ps(re, wr), _mm_mul_ps(im, wi));
            outIm = _mm_sub_ps(_mm_mul_ps(im, wr), _mm_mul_ps(re, wi));
        } else {
            outRe = _mm_sub_ps(_mm_mul_ps(re, wr), _mm_mul_ps(im, wi));
            outIm = _mm_add_ps(_mm_mul_ps(im, wr), _mm_mul_ps(re, wi));
        }
    }

    // Four values of a row times their matrix entries, value t to column t at
    // float offset at.
    static void gatherRow(const float* from, const float* matrix, const Columns& columns,
                          std::ptrdiff_t at) {
        __m128 outRe, outIm;
        twiddleFour(from, matrix, outRe, outIm);
        const __m128 lo = _mm_unpacklo_ps(outRe, outIm), hi = _mm_unpackhi_ps(outRe, outIm);
        _mm_storel_pi(reinterpret_cast<__m64*>(columns[0] + at), lo);
        _mm_storeh_pi(reinterpret_cast<__m64*>(columns[1] + at), lo);
        _mm_storel_pi(reinterpret_cast<__m64*>(columns[2] + at), hi);
        _mm_storeh_pi(reinterpret_cast<__m64*>(columns[3] + at), hi);
    }

    // Value at of each column back to four consecutive values of a row.
    static void scatterRow(const Columns& columns, std::ptrdiff_t at, float* to) {
        const auto pair = [&](int t) {
            return _mm_load_sd(reinterpret_cast<const double*>(columns[t] + at));
        };
        _mm_storeu_pd(reinterpret_cast<double*>(to), _mm_unpacklo_pd(pair(0), pair(1)));
        _mm_storeu_pd(reinterpret_cast<double*>(to + 4), _mm_unpacklo_pd(pair(2), pair(3)));
    }

    const sigFftSpecHeader& spec_;
    float* work_;
};

template <bool Inverse>
void complexTransform(const sigFftSpecHeader& spec, const float* src, float* dst, int m,
                      float* work) {
    if (m > sigFftPieceOrder && sigFftSplitOrder[static_cast<std::size_t>(m)] == 0)
        return Blocked<Inverse>(spec, work).chunkFromNaturalOrder(src, dst, m);
    // The same permutation by tiles, through the pair table below that order:
    // the scalar tiles pay once the array outgrows the first-level cache
    // (64 KB), the AVX2 tiles at every order the blocked transform takes
    // (measured the faster each side).
    const int tiledFromOrder = sigWideIsaOfMachine() != sigWideIsa::baseline ? 11 : 13;
    const std::int32_t* pairs = spec.table<std::int32_t>(spec.bitRev);
    if (m >= tiledFromOrder && src == dst) {
        sigFftBitRevTiledInPlace_32fc(dst, m);
    } else if (m >= tiledFromOrder) {
        sigFftBitRevTiledCopy_32fc(src, dst, m);
    } else if (src == dst) {
        sigFftBitRevInPlace_32fc(dst, m, pairs);
    } else {
        sigFftBitRevCopy_32fc(src, dst, m, pairs);
    }
    Blocked<Inverse>(spec, work).transform(dst, m, 0);
}

} // namespace

namespace sig_plane_baseline {
extern const sigFftColumnSweepBuild columnSweeps;
}
namespace sig_plane_avx2 {
extern const sigFftColumnSweepBuild columnSweeps;
}
namespace sig_plane_avx512 {
extern const sigFftColumnSweepBuild columnSweeps;
}

const sigWideVariants<const sigFftColumnSweepBuild> sigFftColumnSweepBuilds{
    &sig_plane_baseline::columnSweeps, &sig_plane_avx2::columnSweeps,
    &sig_plane_avx512::columnSweeps};

void sigFftBlockedFwd_32fc(const sigFftSpecHeader& spec, const float* src, float* dst, int m,
                           float* work) {
    complexTransform<false>(spec, src, dst, m, work);
}

void sigFftBlockedInv_32fc(const sigFftSpecHeader& spec, const float* src, float* dst, int m,
                           float* work) {
    complexTransform<true>(spec, src, dst, m, work);
}
