// The forward and inverse real transforms and their in-place entries.
#include "sigproc/core/dispatch.h"
#include "sigproc/core/memory.h"
#include "sigproc/fft/bit_reverse.h"
#include "sigproc/fft/blocked_fft.h"
#include "sigproc/fft/complex_passes.h"
#include "sigproc/fft/plane_fft.h"
#include "sigproc/fft/real_fft.h"
#include "sigproc/fft/real_split.h"
#include "sigproc/fft/small_orders.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/arith_const.h"

#include <cstddef>
#include <cstdint>

namespace {

// The work area of one call: the caller's buffer from its first 32-byte
// boundary, or a library block that lives as long as the call.
class WorkArea {
  public:
    WorkArea() = default;
    WorkArea(const WorkArea&) = delete;
    WorkArea& operator=(const WorkArea&) = delete;
    ~WorkArea() { sigFree_generic(owned_); }

    bool acquire(const sigFftSpec_R_32f& spec, unsigned char* callerBuffer) {
        if (spec.workBytes <= 0) return true;
        if (callerBuffer != nullptr) {
            const auto address = reinterpret_cast<std::uintptr_t>(callerBuffer);
            area_ = reinterpret_cast<float*>(callerBuffer +
                                             (((address + 31) & ~std::uintptr_t{31}) - address));
            return true;
        }
        owned_ = sigMalloc_8u(spec.workBytes);
        area_ = static_cast<float*>(owned_);
        return owned_ != nullptr;
    }

    float* get() const { return area_; }

  private:
    void* owned_ = nullptr;
    float* area_ = nullptr;
};

int checkArguments(const float* src, const float* dst, const sigFftSpec_R_32f* spec) {
    if (spec == nullptr) return sigErrNullPtr;
    if (spec->id != sigFftSpecId) return sigErrStateMismatch;
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    return sigOk;
}

// Both directions: the closed forms for orders 0 to 3, the working copy in
// planes for 5 to 10, otherwise bit reversal and complex passes (or the
// blocked transform) in dst, preceded by the merge (inverse) or followed by
// the split (forward).
template <bool Inverse>
int realTransform(const float* src, float* dst, const sigFftSpec_R_32f* spec,
                  unsigned char* workBuf) {
    if (const int status = checkArguments(src, dst, spec); status != sigOk) return status;
    const int order = spec->order;
    const bool scaled = (Inverse ? spec->scaleInv : spec->scaleFwd) != 0;
    if (order <= 3) {
        const float scale = scaled ? spec->scaleFactor : 1.0f;
        if constexpr (Inverse) {
            sigFftSmallInv_R_32f(src, dst, order, scale);
        } else {
            sigFftSmallFwd_R_32f(src, dst, order, scale);
        }
        return sigOk;
    }
    if (order >= sigFftPlaneMinOrder && order <= sigFftPlaneMaxOrder) {
        if constexpr (Inverse) {
            sigFftPlaneInv_R_32f(src, dst, *spec);
        } else {
            sigFftPlaneFwd_R_32f(src, dst, *spec);
        }
        return sigOk;
    }
    WorkArea work;
    if (!work.acquire(*spec, workBuf)) return sigErrNoMemory;

    const int m = order - 1;
    const std::ptrdiff_t n = std::ptrdiff_t{1} << m;
    if constexpr (Inverse) sigFftRealPreInv_32f(src, dst, n, spec->table<float>(spec->realRot));
    // The inverse continues on the merged values already in dst.
    const float* from = Inverse ? dst : src;
    if (m <= sigFftPieceOrder) {
        const std::int32_t* pairs = spec->table<std::int32_t>(spec->bitRev);
        if (from == dst) {
            sigFftBitRevInPlace_32fc(dst, m, pairs);
        } else {
            sigFftBitRevCopy_32fc(from, dst, m, pairs);
        }
        const float* twiddles = spec->table<float>(spec->twiddles);
        if constexpr (Inverse) {
            sigFftPassesInv_32fc(dst, m, twiddles);
        } else {
            sigFftPassesFwd_32fc(dst, m, twiddles);
        }
        if (scaled) sigMulConstInPlace_32f_generic(spec->scaleFactor, dst, 1 << order);
    } else if constexpr (Inverse) {
        sigFftBlockedInv_32fc(*spec, from, dst, m, work.get());
    } else {
        sigFftBlockedFwd_32fc(*spec, from, dst, m, work.get());
    }
    if constexpr (!Inverse) sigFftRealPostFwd_32f(dst, n, spec->table<float>(spec->realSplit));
    return sigOk;
}

} // namespace

int sigFftFwd_R_32f(const float* src, float* dst, const sigFftSpec_R_32f* spec,
                    unsigned char* workBuf) {
    return realTransform<false>(src, dst, spec, workBuf);
}

int sigFftInv_R_32f(const float* src, float* dst, const sigFftSpec_R_32f* spec,
                    unsigned char* workBuf) {
    return realTransform<true>(src, dst, spec, workBuf);
}

int sigFftFwdInPlace_R_32f_generic(float* srcDst, const sigFftSpec_R_32f* spec,
                                   unsigned char* workBuf) {
    return sigFftFwd_R_32f(srcDst, srcDst, spec, workBuf);
}

int sigFftInvInPlace_R_32f_generic(float* srcDst, const sigFftSpec_R_32f* spec,
                                   unsigned char* workBuf) {
    return sigFftInv_R_32f(srcDst, srcDst, spec, workBuf);
}

int sigFftFwdInPlace_R_32f(float* srcDst, const sigFftSpec_R_32f* spec, unsigned char* workBuf) {
    return sigDispatch<decltype(sigFftFwdInPlace_R_32f_generic)>(
        sigDispatchTableA[sigGroupFftFwdInPlace_R_32f], srcDst, spec, workBuf);
}

int sigFftInvInPlace_R_32f(float* srcDst, const sigFftSpec_R_32f* spec, unsigned char* workBuf) {
    return sigDispatch<decltype(sigFftInvInPlace_R_32f_generic)>(
        sigDispatchTableA[sigGroupFftInvInPlace_R_32f], srcDst, spec, workBuf);
}
