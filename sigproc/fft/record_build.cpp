#include "sigproc/fft/record_build.h"

#include "sigproc/core/memory.h"
#include "sigproc/fft/bit_reverse.h"
#include "sigproc/fft/nearest_rounding.h"
#include "sigproc/sigproc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

inline std::uint32_t align32(std::int64_t offset) {
    return static_cast<std::uint32_t>(sigAlign32(offset));
}

// Lays the tables of the complex transform out behind the header, each from a
// 32-byte boundary, and records their offsets in the header.
class ComplexTableBuilder {
public:
    ComplexTableBuilder(sigFftSpecHeader& spec, const sigFftSine& sine, float* scratch)
        : spec_(spec), sine_(sine), scratch_(scratch) {}

    // Returns the first free 32-byte aligned offset behind the tables.
    std::uint32_t build(int m) {
        spec_.bitRev = sigFftHeaderBytes;
        sigFftBuildPairTable(spec_.table<std::int32_t>(spec_.bitRev), m);
        const std::int64_t pairBytes = 4 * ((std::int64_t{1} << m) / 4) + 4;
        if (m <= sigFftPieceOrder) {
            next_ = align32(spec_.bitRev + pairBytes);
            piece(m);
        } else {
            // Beyond one piece the tables begin behind the pair table rounded
            // to a 32-byte multiple, then at the next boundary: the layout these
            // records are defined with. The size rule allows for the 32 bytes
            // this may cost.
            next_ = align32(spec_.bitRev + sigAlign32(pairBytes));
            large(m, 0);
        }
        return next_;
    }

private:
    std::uint32_t twiddleGroups(int q) {
        const std::uint32_t at = next_;
        sigFftBuildTwiddleGroups(spec_.table<float>(at), q, sine_);
        next_ = align32(at + 24 * ((std::int64_t{1} << q) / 4 + 1));
        return at;
    }

    std::uint32_t rotation(int q) {
        const std::uint32_t at = next_;
        sigFftBuildRotation(spec_.table<float>(at), q, sine_);
        next_ = align32(at + 8 * ((std::int64_t{1} << q) / 4));
        return at;
    }

    void piece(int q) { spec_.twiddles = twiddleGroups(q); }

    // 2^11 or 2^12 values as 1024-point pieces joined by a rotation table.
    void chunk(int q) {
        spec_.twiddles = twiddleGroups(sigFftPieceOrder);
        spec_.rotTable = rotation(q);
    }

    void large(int m, int depth) {
        const int a = sigFftSplitOrder[static_cast<std::size_t>(m)];
        if (a == 0) return chunk(m);
        const int r = m - a;
        if (r <= sigFftPieceOrder) {
            piece(r);
        } else {
            large(r, depth + 1);
        }
        spec_.levelTwiddles[depth] = twiddleGroups(a);
        spec_.levelMatrix[depth] = next_;
        sigFftBuildLevelMatrix(spec_.table<float>(next_), m, a, sine_, scratch_);
        next_ = static_cast<std::uint32_t>(next_ + 8 * (std::int64_t{1} << m));
        // The header starts zeroed: the result is the widest level's four columns.
        spec_.workBytes = std::max(spec_.workBytes, 32 << a);
    }

    sigFftSpecHeader& spec_;
    sigFftSine sine_;
    float* scratch_;
    std::uint32_t next_ = 0;
};

} // namespace

bool sigFftSetScaling(sigFftSpecHeader& spec, int flag) {
    const double length = std::ldexp(1.0, spec.order);
    switch (flag) {
    case sigFftScaleNone:
        return true;
    case sigFftScaleBothSqrt:
        spec.scaleFwd = spec.scaleInv = 1;
        spec.scaleFactor = static_cast<float>(1.0 / std::sqrt(length));
        return true;
    case sigFftScaleFwd:
        spec.scaleFwd = 1;
        spec.scaleFactor = static_cast<float>(1.0 / length);
        return true;
    case sigFftScaleInv:
        spec.scaleInv = 1;
        spec.scaleFactor = static_cast<float>(1.0 / length);
        return true;
    default:
        return false;
    }
}

sigFftSpecHeader* sigFftStartHeader(unsigned char* specBuf, int order, int hint) {
    auto* spec = reinterpret_cast<sigFftSpecHeader*>(sigAlignUp32(specBuf));
    std::memset(static_cast<void*>(spec), 0, sigFftHeaderBytes);
    spec->order = order;
    spec->hint = hint;
    return spec;
}

bool sigFftRecordSine(int order, unsigned char* initBuf, sigFftSine& sine) {
    if (order <= sigFftPieceOrder) {
        sine = sigFftStaticSine();
        return true;
    }
    if (initBuf == nullptr) return false;
    auto* table = reinterpret_cast<float*>(sigAlignUp32(initBuf));
    sigFftBuildSine(table, order);
    sine = {table, order};
    return true;
}

int sigFftBuildRecord(sigFftSpecHeader*& record, const sigFftRecordKind& kind, int order, int flag,
                      int hint, unsigned char* specBuf, unsigned char* initBuf) {
    if (!sigFftOrderBuildable(order, kind.sizesOf)) return sigErrFftOrder;
    if (specBuf == nullptr) return sigErrNullPtr;

    sigNearestRounding nearest;
    sigFftSpecHeader* spec = sigFftStartHeader(specBuf, order, hint);
    if (!sigFftSetScaling(*spec, flag)) return sigErrFftFlag;

    if (order > sigFftClosedFormMaxOrder) {
        sigFftSine sine{};
        if (!sigFftRecordSine(order, initBuf, sine)) return sigErrNullPtr;
        float* scratch = nullptr;
        if (order > sigFftPieceOrder) {
            // The split tables' scratch follows the sine table.
            const std::int64_t tableBytes = 4 * ((std::int64_t{1} << order) / 4 + 1);
            scratch = reinterpret_cast<float*>(sigAlignUp32(initBuf) + sigAlign32(tableBytes));
        }
        const int m = kind.halfLength ? order - 1 : order;
        const std::uint32_t next = ComplexTableBuilder(*spec, sine, scratch).build(m);
        if (kind.ownTables != nullptr) kind.ownTables(*spec, next, sine);
    }
    // Last, so that a build that stops early never leaves a record that looks valid.
    spec->id = kind.id;
    record = spec;
    return sigOk;
}

int sigFftInitAllocRecord(sigFftSpecHeader*& record, const sigFftRecordKind& kind, int order,
                          int flag, int hint) {
    int specBytes = 0;
    int initBytes = 0;
    int workBytes = 0;
    const int status =
        sigFftQuerySizes(kind.sizesOf, order, flag, &specBytes, &initBytes, &workBytes);
    if (status != sigOk) return status;

    auto* specBlock = static_cast<unsigned char*>(sigMalloc_8u(specBytes));
    if (specBlock == nullptr) return sigErrNoMemory;
    unsigned char* initBlock = nullptr;
    if (initBytes > 0) {
        initBlock = static_cast<unsigned char*>(sigMalloc_8u(initBytes));
        if (initBlock == nullptr) {
            sigFree_generic(specBlock);
            return sigErrNoMemory;
        }
    }
    const sigFftRecordBuilder build = kind.builder != nullptr ? kind.builder : sigFftBuildRecord;
    const int built = build(record, kind, order, flag, hint, specBlock, initBlock);
    sigFree_generic(initBlock);
    if (built != sigOk) {
        sigFree_generic(specBlock);
        return built;
    }
    record->allocated = 1;
    return sigOk;
}

int sigFftFreeRecord(sigFftSpecHeader* spec, const sigFftRecordKind& kind) {
    if (spec == nullptr) return sigErrNullPtr;
    if (spec->id != kind.id) return sigErrStateMismatch;
    spec->id = 0;
    if (spec->allocated == 1) sigFree_generic(spec);
    return sigOk;
}
