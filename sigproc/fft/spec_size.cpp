#include "sigproc/fft/spec_size.h"

#include "sigproc/fft/real_fft.h"
#include "sigproc/sigproc.h"

#include <algorithm>
#include <limits>

namespace {

// Table bytes, split scratch and work area of a complex transform of order m >= 11.
struct LargeSizes {
    std::int64_t tables;
    std::int64_t scratch;
    std::int64_t work;
};

// A piece of 2^11 or 2^12 values: twiddles of order 10 (8,224 bytes with their
// reserve) and a rotation table of 2^m / 4 pairs.
LargeSizes chunkSizes(int m) {
    return {sigAlign32(std::int64_t{2} << m) + 8224, 0, 0};
}

LargeSizes largeSizes(int m) {
    const int a = sigFftSplitOrder[static_cast<std::size_t>(m)];
    if (a == 0) return chunkSizes(m);
    const int r = m - a;
    const std::int64_t rows = std::int64_t{1} << a;
    const LargeSizes inner = r <= sigFftPieceOrder
                                 ? LargeSizes{sigAlign32(8 * (std::int64_t{1} << r) + 8), 0, 0}
                                 : largeSizes(r);
    return {
        inner.tables + sigAlign32(8 * rows + 8) + 8 * (std::int64_t{1} << m),
        inner.scratch + sigAlign32(4 * (rows / 4) + 4) + 32 * rows,
        std::max(inner.work, 32 * rows),
    };
}

bool fitsSizeWord(std::int64_t bytes) {
    return bytes <= std::numeric_limits<std::int32_t>::max();
}

} // namespace

sigFftSizes sigFftSizesOf(int order) {
    if (order <= 3) return {116, 0, 0};
    const int m = order - 1;
    const std::int64_t half = std::int64_t{1} << m;
    const std::int64_t length = half * 2;
    const std::int64_t pairTable = sigAlign32(4 * (half / 4) + 4);
    const std::int64_t realTables = 2 * sigAlign32(2 * length);
    // Orders above 10 build their own sine table, order 11 included.
    const std::int64_t sineTable = order <= sigFftPieceOrder ? 0 : sigAlign32(length + 4) + 32;
    if (m <= sigFftPieceOrder)
        return {sigAlign32(8 * half + 8) + pairTable + realTables + 128, sineTable, 0};
    const LargeSizes large = largeSizes(m);
    return {large.tables + pairTable + realTables + 128, sineTable + large.scratch,
            large.work > 0 ? large.work + 32 : 0};
}

bool sigFftFlagValid(int flag) {
    return flag == sigFftScaleFwd || flag == sigFftScaleInv || flag == sigFftScaleBothSqrt ||
           flag == sigFftScaleNone;
}

bool sigFftOrderBuildable(int order) {
    if (order < 0 || order > sigFftMaxOrder) return false;
    const sigFftSizes sizes = sigFftSizesOf(order);
    return fitsSizeWord(sizes.specBytes) && fitsSizeWord(sizes.initBytes) &&
           fitsSizeWord(sizes.workBytes);
}

int sigFftGetSize_R_32f(int order, int flag, int, int* pSpecBytes, int* pInitBytes,
                        int* pWorkBytes) {
    if (!sigFftOrderBuildable(order)) return sigErrFftOrder;
    if (pSpecBytes == nullptr || pInitBytes == nullptr || pWorkBytes == nullptr)
        return sigErrNullPtr;
    if (!sigFftFlagValid(flag)) return sigErrFftFlag;
    const sigFftSizes sizes = sigFftSizesOf(order);
    *pSpecBytes = static_cast<int>(sizes.specBytes);
    *pInitBytes = static_cast<int>(sizes.initBytes);
    *pWorkBytes = static_cast<int>(sizes.workBytes);
    return sigOk;
}

int sigFftGetBufSize_R_32f(const sigFftSpec_R_32f* spec, int* pSize) {
    if (pSize == nullptr || spec == nullptr) return sigErrNullPtr;
    if (spec->id != sigFftSpecId) return sigErrStateMismatch;
    *pSize = spec->workBytes > 0 ? spec->workBytes + 32 : 0;
    return sigOk;
}
