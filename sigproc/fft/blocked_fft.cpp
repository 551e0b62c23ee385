#include "sigproc/fft/blocked_fft.h"

#include "sigproc/fft/bit_reverse.h"
#include "sigproc/fft/complex_math.h"
#include "sigproc/fft/complex_passes.h"
#include "sigproc/fft/plane_fft.h"
#include "sigproc/vector/arith_const.h"

#include <cstddef>
#include <cstdint>

namespace {

template <bool Inverse> class Blocked {
public:
    Blocked(const sigFftSpecHeader& spec, float* work) : spec_(spec), work_(work) {}

    void transform(float* data, int m, int depth) const {
        if (m <= sigFftPieceOrder) {
            piece(data, m);
        } else if (sigFftSplitOrder[static_cast<std::size_t>(m)] == 0) {
            chunk(data, m);
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

    // 2^11 or 2^12 values: 1024-point pieces from the last to the first, then
    // merge passes that double the transform length until it is 2^c.
    void chunk(float* data, int c) const {
        const std::ptrdiff_t length = std::ptrdiff_t{1} << c;
        for (std::ptrdiff_t start = length - 1024; start >= 0; start -= 1024)
            piece(data + 2 * start, 10);
        const float* rot = spec_.table<float>(spec_.rotTable);
        for (std::ptrdiff_t half = 1024; half < length; half *= 2) {
            if constexpr (Inverse) {
                sigFftMergePassInv_32fc(data, length, half, rot);
            } else {
                sigFftMergePassFwd_32fc(data, length, half, rot);
            }
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
        float* columns[4];
        for (int t = 0; t < 4; ++t) columns[t] = work_ + 2 * rows * t;
        for (std::ptrdiff_t g = 0; g < rowLength / 4; ++g) {
            for (std::ptrdiff_t c = 0; c < rows; ++c) {
                const float* at = data + 2 * (c * rowLength + 4 * g);
                for (int t = 0; t < 4; ++t, matrix += 2) {
                    sigTwiddle<Inverse>(at[2 * t], at[2 * t + 1], matrix[0], matrix[1],
                                        columns[t][2 * c], columns[t][2 * c + 1]);
                }
            }
            for (int t = 0; t < 4; ++t) passes(columns[t], a, columnTwiddles);
            for (std::ptrdiff_t j = 0; j < rows; ++j) {
                float* at = data + 2 * (j * rowLength + 4 * g);
                for (int t = 0; t < 4; ++t) {
                    at[2 * t] = columns[t][2 * j];
                    at[2 * t + 1] = columns[t][2 * j + 1];
                }
            }
        }
    }

    const sigFftSpecHeader& spec_;
    float* work_;
};

template <bool Inverse>
void complexTransform(const sigFftSpecHeader& spec, const float* src, float* dst, int m,
                      float* work) {
    const std::int32_t* pairs = spec.table<std::int32_t>(spec.bitRev);
    if (src == dst) {
        sigFftBitRevInPlace_32fc(dst, m, pairs);
    } else {
        sigFftBitRevCopy_32fc(src, dst, m, pairs);
    }
    Blocked<Inverse>(spec, work).transform(dst, m, 0);
}

} // namespace

void sigFftBlockedFwd_32fc(const sigFftSpecHeader& spec, const float* src, float* dst, int m,
                           float* work) {
    complexTransform<false>(spec, src, dst, m, work);
}

void sigFftBlockedInv_32fc(const sigFftSpecHeader& spec, const float* src, float* dst, int m,
                           float* work) {
    complexTransform<true>(spec, src, dst, m, work);
}
