// The large-order decomposition of the processor-specific real-FFT members:
// the complex transform of n = 2^m values as 2^a rows of L = 2^(m-a)
// contiguous values, transformed by the slot's pass routine (or decomposed
// again when longer than the slot's row limit), then the remaining stages as
// column passes over strips of W columns gathered into the work area.
//
// `levelMatrix` of a depth holds, in the order the column stage reads them,
// for every strip, every pass and every group of four columns of the pass's
// span: three twiddles (radix-4) or one (radix-2), four cosines then four
// negated sines each.
#pragma once

#include "sigproc/fft/record_layout.h"
#include "sigproc/fft/simd_slots.h"

#include <cstddef>
#include <cstdint>

// Floats of the column twiddles of one decomposition of 2^m values with 2^a
// rows and strips of W columns, and the table itself; twiddle(k, q) gives
// cos and -sin of 2 pi k / 2^q.
struct sigFftColumnPlan {
    int m;
    int a;
    std::ptrdiff_t width; // W
};
sigFftColumnPlan sigFftColumnPlanOf(const sigFftSimdSlot& slot, int m);
std::int64_t sigFftColumnTwiddleFloats(const sigFftColumnPlan& plan);

template <typename Twiddle>
void sigFftBuildColumnTwiddles(float* table, const sigFftColumnPlan& plan, Twiddle twiddle);

// The whole decomposition at depth 0: bit reversal of src into dst (the
// table of sigFftSimdBuildBitRev), rows, columns; rows scaled by
// spec.scaleFactor when the direction's flag is set. src may be dst.
void sigFftSimdBlockedFwd_32fc(const sigFftSimdSlot& slot, const sigFftSpecHeader& spec,
                               const float* src, float* dst, int m, float* work);
void sigFftSimdBlockedInv_32fc(const sigFftSimdSlot& slot, const sigFftSpecHeader& spec,
                               const float* src, float* dst, int m, float* work);

// Rows of `rows` values each (columns a positive multiple of 8) between the
// array and a packed strip; the scatter turns quad-planar groups back into
// interleaved pairs when asked.
void sigFftGatherRows_32fc(const float* src, float* dst, std::ptrdiff_t stride, std::ptrdiff_t rows,
                           std::ptrdiff_t columns);
void sigFftScatterRows_32fc(float* dst, const float* src, std::ptrdiff_t stride,
                            std::ptrdiff_t rows, std::ptrdiff_t columns, bool interleaved);

template <typename Twiddle>
void sigFftBuildColumnTwiddles(float* table, const sigFftColumnPlan& plan, Twiddle twiddle) {
    const std::ptrdiff_t rowLength = std::ptrdiff_t{1} << (plan.m - plan.a);
    const std::ptrdiff_t rows = std::ptrdiff_t{1} << plan.a;
    auto group = [&](std::ptrdiff_t columnBase, std::ptrdiff_t k0, int multiples, int q) {
        // Strip place k0 .. k0+3 is row k0 / W, column k0 % W of the strip:
        // the global butterfly column columnBase + k % W + L (k / W).
        for (int j = 1; j <= multiples; ++j) {
            for (int t = 0; t < 4; ++t) {
                const std::ptrdiff_t k = k0 + t;
                const std::int64_t global =
                    columnBase + k % plan.width + rowLength * (k / plan.width);
                twiddle(j * global, q, table[t], table[4 + t]);
            }
            table += 8;
        }
    };
    for (std::ptrdiff_t strip = 0; strip < rowLength; strip += plan.width) {
        std::ptrdiff_t s = 1;
        int q = plan.m - plan.a + 2;
        for (; 4 * s <= rows; s *= 4, q += 2) {
            for (std::ptrdiff_t k = 0; k < plan.width * s; k += 4) group(strip, k, 3, q);
        }
        if (2 * s == rows) {
            for (std::ptrdiff_t k = 0; k < plan.width * s; k += 4) group(strip, k, 1, q - 1);
        }
    }
}
