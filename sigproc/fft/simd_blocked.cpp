#include "sigproc/fft/simd_blocked.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/fft/simd_kernels.h"
#include "sigproc/fft/simd_passes.h"
#include "sigproc/sigproc.h"

#include <cstring>

namespace {

// Steps 2 to 4 on one array of 2^m values already in bit-reversed order.
template <bool Inverse>
void decompose(const sigFftSimdSlot& slot, const sigFftSpecHeader& spec, float* data, int m,
               int depth, float* work) {
    const sigFftColumnPlan plan = sigFftColumnPlanOf(slot, m);
    const std::ptrdiff_t rows = std::ptrdiff_t{1} << plan.a;
    const int rowM = m - plan.a;
    const std::ptrdiff_t rowLength = std::ptrdiff_t{1} << rowM;
    const bool scaled = (Inverse ? spec.scaleInv : spec.scaleFwd) != 0;
    const float* twiddles = spec.table<float>(spec.twiddles);
    for (std::ptrdiff_t r = 0; r < rows; ++r) {
        float* row = data + 2 * r * rowLength;
        // The set-up plans at most one column table per level slot.
        if (rowM > slot.rowMaxM && depth + 1 < sigFftLevelSlots) {
            decompose<Inverse>(slot, spec, row, rowM, depth + 1, work);
            continue;
        }
        if constexpr (Inverse) {
            sigFftSimdPassesInv_32fc(row, rowLength, twiddles, false, slot.blockValues);
        } else {
            sigFftSimdPassesFwd_32fc(row, rowLength, twiddles, false, slot.blockValues);
        }
        // Every value is scaled once, here, and never by the column stage.
        if (scaled) {
            sigDispatchTable.mulConstInPlace_32f[slot.slot](spec.scaleFactor, row,
                                                            static_cast<int>(2 * rowLength));
        }
    }
    const float* tw = spec.table<float>(spec.levelMatrix[depth]);
    const std::ptrdiff_t width = plan.width;
    for (std::ptrdiff_t strip = 0; strip < rowLength; strip += width) {
        sigFftGatherRows_32fc(data + 2 * strip, work, rowLength, rows, width);
        std::ptrdiff_t span = width;
        for (; 4 * span <= rows * width; span *= 4) {
            sigFftRadix4Pass<Inverse>(work, work, span, rows * width / (4 * span), tw, false);
            tw += 6 * span;
        }
        if (2 * span == rows * width) {
            sigFftRadix2Pass<Inverse>(work, work, span, 1, tw, 8, false);
            tw += 2 * span;
        }
        sigFftScatterRows_32fc(data + 2 * strip, work, rowLength, rows, width, depth == 0);
    }
}

template <bool Inverse>
void blocked(const sigFftSimdSlot& slot, const sigFftSpecHeader& spec, const float* src, float* dst,
             int m, float* work) {
    const auto* bitRev = spec.table<std::int32_t>(spec.bitRev);
    if (src == dst) {
        sigFftSimdBitRevInPlace_32fc(dst, m, bitRev, work);
    } else {
        sigFftSimdBitRevCopy_32fc(src, dst, m, bitRev, work);
    }
    decompose<Inverse>(slot, spec, dst, m, 0, work);
}

} // namespace

sigFftColumnPlan sigFftColumnPlanOf(const sigFftSimdSlot& slot, int m) {
    const int a = (*slot.rowSplit)[static_cast<std::size_t>(m)];
    const int strip = (*slot.stripLog2)[static_cast<std::size_t>(m)];
    return {m, a, std::ptrdiff_t{1} << (strip - a)};
}

std::int64_t sigFftColumnTwiddleFloats(const sigFftColumnPlan& plan) {
    // Per strip and radix-4 pass 6 floats per column of the pass's span, per
    // radix-2 pass 2; the strips together cover every column of the row.
    const std::int64_t rowLength = std::int64_t{1} << (plan.m - plan.a);
    const std::int64_t rows = std::int64_t{1} << plan.a;
    std::int64_t floats = 0;
    std::int64_t s = 1;
    for (; 4 * s <= rows; s *= 4) floats += 6 * rowLength * s;
    if (2 * s == rows) floats += 2 * rowLength * s;
    return floats;
}

void sigFftGatherRows_32fc(const float* src, float* dst, std::ptrdiff_t stride, std::ptrdiff_t rows,
                           std::ptrdiff_t columns) {
    for (std::ptrdiff_t r = 0; r < rows; ++r) {
        std::memcpy(dst + 2 * r * columns, src + 2 * r * stride, sizeof(float) * 2 * columns);
    }
}

void sigFftScatterRows_32fc(float* dst, const float* src, std::ptrdiff_t stride,
                            std::ptrdiff_t rows, std::ptrdiff_t columns, bool interleaved) {
    for (std::ptrdiff_t r = 0; r < rows; ++r) {
        float* to = dst + 2 * r * stride;
        const float* from = src + 2 * r * columns;
        for (std::ptrdiff_t c = 0; c < 2 * columns; c += 8)
            sigQuadStore(to + c, sigQuadLoad(from + c), interleaved);
    }
}

void sigFftSimdBlockedFwd_32fc(const sigFftSimdSlot& slot, const sigFftSpecHeader& spec,
                               const float* src, float* dst, int m, float* work) {
    blocked<false>(slot, spec, src, dst, m, work);
}

void sigFftSimdBlockedInv_32fc(const sigFftSimdSlot& slot, const sigFftSpecHeader& spec,
                               const float* src, float* dst, int m, float* work) {
    blocked<true>(slot, spec, src, dst, m, work);
}
