// Building, allocating and releasing a real-FFT specification.
#include "sigproc/core/dispatch.h"
#include "sigproc/core/memory.h"
#include "sigproc/fft/bit_reverse.h"
#include "sigproc/fft/nearest_rounding.h"
#include "sigproc/fft/real_fft.h"
#include "sigproc/fft/spec_size.h"
#include "sigproc/fft/trig_tables.h"
#include "sigproc/sigproc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

inline std::uint32_t align32(std::int64_t offset) {
    return static_cast<std::uint32_t>(sigAlign32(offset));
}

unsigned char* alignUp32(unsigned char* p) {
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    return p + (((address + 31) & ~std::uintptr_t{31}) - address);
}

// Lays the tables out behind the header, each from a 32-byte boundary, and
// records their offsets in the header.
class TableBuilder {
  public:
    TableBuilder(sigFftSpec_R_32f& spec, const sigFftSine& sine, float* scratch)
        : spec_(spec), sine_(sine), scratch_(scratch) {}

    void build() {
        const int order = spec_.order;
        const int m = order - 1;
        spec_.bitRev = sigFftHeaderBytes; // directly behind the header
        sigFftBuildPairTable(spec_.table<std::int32_t>(spec_.bitRev), m);
        const std::int64_t pairBytes = 4 * ((std::int64_t{1} << m) / 4) + 4;
        if (m <= sigFftPieceOrder) {
            next_ = align32(spec_.bitRev + pairBytes);
            piece(m);
        } else {
            next_ = align32(spec_.bitRev + sigAlign32(pairBytes));
            large(m, 0);
        }
        spec_.realSplit = next_;
        sigFftBuildRealSplit(spec_.table<float>(spec_.realSplit), order, sine_);
        spec_.realRot = align32(spec_.realSplit + 2 * (std::int64_t{1} << order));
        sigFftBuildRotation(spec_.table<float>(spec_.realRot), order, sine_);
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

    void piece(int q) {
        spec_.twiddles = twiddleGroups(q);
        spec_.workBytes = 0;
    }

    // 2^11 or 2^12 values as 1024-point pieces joined by a rotation table.
    void chunk(int q) {
        spec_.twiddles = twiddleGroups(sigFftPieceOrder);
        spec_.rotTable = rotation(q);
        spec_.workBytes = 0;
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
        spec_.workBytes = std::max(spec_.workBytes, 32 << a);
    }

    sigFftSpec_R_32f& spec_;
    sigFftSine sine_;
    float* scratch_;
    std::uint32_t next_ = 0;
};

// Sets the scaling words; false for a flag that is none of the four.
bool setScaling(sigFftSpec_R_32f& spec, int flag) {
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

} // namespace

int sigFftInit_R_32f(sigFftSpec_R_32f** pSpec, int order, int flag, int hint,
                     unsigned char* specBuf, unsigned char* initBuf) {
    if (pSpec == nullptr) return sigErrNullPtr;
    if (!sigFftOrderBuildable(order)) return sigErrFftOrder;
    if (specBuf == nullptr) return sigErrNullPtr;

    sigNearestRounding nearest;
    auto* spec = reinterpret_cast<sigFftSpec_R_32f*>(alignUp32(specBuf));
    std::memset(static_cast<void*>(spec), 0, sigFftHeaderBytes);
    spec->order = order;
    spec->hint = hint;
    if (!setScaling(*spec, flag)) return sigErrFftFlag;

    if (order > 3) {
        sigFftSine sine = sigFftStaticSine();
        float* scratch = nullptr;
        if (order > sigFftPieceOrder) {
            if (initBuf == nullptr) return sigErrNullPtr;
            auto* table = reinterpret_cast<float*>(alignUp32(initBuf));
            sigFftBuildSine(table, order);
            sine = {table, order};
            const std::int64_t tableBytes = 4 * ((std::int64_t{1} << order) / 4 + 1);
            scratch = reinterpret_cast<float*>(reinterpret_cast<unsigned char*>(table) +
                                               sigAlign32(tableBytes));
        }
        TableBuilder(*spec, sine, scratch).build();
    }
    // Last, so that a build that stops early never leaves a record that looks valid.
    spec->id = sigFftSpecId;
    *pSpec = spec;
    return sigOk;
}

int sigFftInitAlloc_R_32f_generic(sigFftSpec_R_32f** pSpec, int order, int flag, int hint) {
    if (pSpec == nullptr) return sigErrNullPtr;
    int specBytes = 0;
    int initBytes = 0;
    int workBytes = 0;
    const int status = sigFftGetSize_R_32f(order, flag, hint, &specBytes, &initBytes, &workBytes);
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
    sigFftSpec_R_32f* spec = nullptr;
    const int built = sigFftInit_R_32f(&spec, order, flag, hint, specBlock, initBlock);
    sigFree_generic(initBlock);
    if (built != sigOk) {
        sigFree_generic(specBlock);
        return built;
    }
    spec->allocated = 1;
    *pSpec = spec;
    return sigOk;
}

int sigFftFree_R_32f_generic(sigFftSpec_R_32f* spec) {
    if (spec == nullptr) return sigErrNullPtr;
    if (spec->id != sigFftSpecId) return sigErrStateMismatch;
    spec->id = 0;
    if (spec->allocated == 1) sigFree_generic(spec);
    return sigOk;
}

int sigFftInitAlloc_R_32f(sigFftSpec_R_32f** pSpec, int order, int flag, int hint) {
    return sigDispatch<decltype(sigFftInitAlloc_R_32f_generic)>(
        sigDispatchTableA[sigGroupFftInitAlloc_R_32f], pSpec, order, flag, hint);
}

int sigFftFree_R_32f(sigFftSpec_R_32f* spec) {
    return sigDispatch<decltype(sigFftFree_R_32f_generic)>(sigDispatchTableA[sigGroupFftFree_R_32f],
                                                           spec);
}
