#include "sigproc/fft/record_size.h"

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
LargeSizes chunkSizes(int m) { return {sigAlign32(std::int64_t{2} << m) + 8224, 0, 0}; }

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

// Everything of the complex transform of order m: its pair table and its
// piece, chunk or split tables.
LargeSizes complexSizes(int m) {
    const std::int64_t length = std::int64_t{1} << m;
    const std::int64_t pairTable = sigAlign32(4 * (length / 4) + 4);
    if (m <= sigFftPieceOrder) return {sigAlign32(8 * length + 8) + pairTable, 0, 0};
    const LargeSizes large = largeSizes(m);
    return {large.tables + pairTable, large.scratch, large.work};
}

// A record of the given order whose complex transform has order m, with
// ownTables bytes of tables of its own behind the complex ones. Orders above
// 10 build their own sine table, of the record's order, in the init buffer.
sigFftSizes recordSizes(int order, int m, std::int64_t ownTables) {
    if (order <= sigFftClosedFormMaxOrder) return {116, 0, 0};
    const LargeSizes complex = complexSizes(m);
    const std::int64_t sineTable =
        order <= sigFftPieceOrder ? 0 : sigAlign32((std::int64_t{1} << order) + 4) + 32;
    return {complex.tables + ownTables + 128, sineTable + complex.scratch,
            complex.work > 0 ? complex.work + 32 : 0};
}

bool fitsSizeWord(std::int64_t bytes) { return bytes <= std::numeric_limits<std::int32_t>::max(); }

bool flagValid(int flag) {
    return flag == sigFftScaleFwd || flag == sigFftScaleInv || flag == sigFftScaleBothSqrt ||
           flag == sigFftScaleNone;
}

} // namespace

sigFftSizes sigFftSizesOf(int order) {
    // The half-length complex transform, then the split and merge tables.
    const std::int64_t realTables = 2 * sigAlign32(2 * (std::int64_t{1} << order));
    return recordSizes(order, order - 1, realTables);
}

sigFftSizes sigFftComplexSizesOf(int order) { return recordSizes(order, order, 0); }

bool sigFftOrderBuildable(int order, sigFftSizesRule sizesOf) {
    if (order < 0 || order > sigFftMaxOrder) return false;
    const sigFftSizes sizes = sizesOf(order);
    return fitsSizeWord(sizes.specBytes) && fitsSizeWord(sizes.initBytes) &&
           fitsSizeWord(sizes.workBytes);
}

int sigFftQuerySizes(sigFftSizesRule sizesOf, int order, int flag, int* pSpecBytes, int* pInitBytes,
                     int* pWorkBytes) {
    if (!sigFftOrderBuildable(order, sizesOf)) return sigErrFftOrder;
    if (pSpecBytes == nullptr || pInitBytes == nullptr || pWorkBytes == nullptr)
        return sigErrNullPtr;
    if (!flagValid(flag)) return sigErrFftFlag;
    const sigFftSizes sizes = sizesOf(order);
    *pSpecBytes = static_cast<int>(sizes.specBytes);
    *pInitBytes = static_cast<int>(sizes.initBytes);
    *pWorkBytes = static_cast<int>(sizes.workBytes);
    return sigOk;
}

int sigFftGetSize_R_32f(int order, int flag, int, int* pSpecBytes, int* pInitBytes,
                        int* pWorkBytes) {
    return sigFftQuerySizes(sigFftSizesOf, order, flag, pSpecBytes, pInitBytes, pWorkBytes);
}

int sigFftGetBufSize_R_32f(const sigFftSpec_R_32f* spec, int* pSize) {
    if (pSize == nullptr || spec == nullptr) return sigErrNullPtr;
    if (spec->id != sigFftSpecId) return sigErrStateMismatch;
    *pSize = spec->workBytes > 0 ? spec->workBytes + 32 : 0;
    return sigOk;
}
