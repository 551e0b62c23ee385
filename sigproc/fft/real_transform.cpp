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
            area_ = reinterpret_cast<float*>(callerBuffer + (((address + 31) & ~std::uintptr_t{31}) - address));
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

float smallOrderScale(bool scaled, const sigFftSpec_R_32f& spec) { return scaled ? spec.scaleFactor : 1.0f; }

void scale(const sigFftSpec_R_32f& spec, float* data) {
    sigMulConstInPlace_32f_generic(spec.scaleFactor, data, 1 << spec.order);
}

} // namespace

int sigFftFwd_R_32f(const float* src, float* dst, const sigFftSpec_R_32f* spec, unsigned char* workBuf) {
    if (const int status = checkArguments(src, dst, spec); status != sigOk) return status;
    const int order = spec->order;
    if (order <= 3) {
        sigFftSmallFwd_R_32f(src, dst, order, smallOrderScale(spec->scaleFwd != 0, *spec));
        return sigOk;
    }
    if (order >= sigFftPlaneMinOrder && order <= sigFftPlaneMaxOrder) {
        sigFftPlaneFwd_R_32f(src, dst, *spec);
        return sigOk;
    }
    WorkArea work;
    if (!work.acquire(*spec, workBuf)) return sigErrNoMemory;

    const int m = order - 1;
    if (m <= sigFftPieceOrder) {
        const std::int32_t* pairs = spec->table<std::int32_t>(spec->bitRev);
        if (src == dst) {
            sigFftBitRevInPlace_32fc(dst, m, pairs);
        } else {
            sigFftBitRevCopy_32fc(src, dst, m, pairs);
        }
        sigFftPassesFwd_32fc(dst, m, spec->table<float>(spec->twiddles));
        if (spec->scaleFwd != 0) scale(*spec, dst);
    } else {
        sigFftBlockedFwd_32fc(*spec, src, dst, m, work.get());
    }
    sigFftRealPostFwd_32f(dst, std::ptrdiff_t{1} << m, spec->table<float>(spec->realSplit));
    return sigOk;
}

int sigFftInv_R_32f(const float* src, float* dst, const sigFftSpec_R_32f* spec, unsigned char* workBuf) {
    if (const int status = checkArguments(src, dst, spec); status != sigOk) return status;
    const int order = spec->order;
    if (order <= 3) {
        sigFftSmallInv_R_32f(src, dst, order, smallOrderScale(spec->scaleInv != 0, *spec));
        return sigOk;
    }
    if (order >= sigFftPlaneMinOrder && order <= sigFftPlaneMaxOrder) {
        sigFftPlaneInv_R_32f(src, dst, *spec);
        return sigOk;
    }
    WorkArea work;
    if (!work.acquire(*spec, workBuf)) return sigErrNoMemory;

    const int m = order - 1;
    sigFftRealPreInv_32f(src, dst, std::ptrdiff_t{1} << m, spec->table<float>(spec->realRot));
    if (m <= sigFftPieceOrder) {
        sigFftBitRevInPlace_32fc(dst, m, spec->table<std::int32_t>(spec->bitRev));
        sigFftPassesInv_32fc(dst, m, spec->table<float>(spec->twiddles));
        if (spec->scaleInv != 0) scale(*spec, dst);
    } else {
        sigFftBlockedInv_32fc(*spec, dst, dst, m, work.get());
    }
    return sigOk;
}

int sigFftFwdInPlace_R_32f_generic(float* srcDst, const sigFftSpec_R_32f* spec, unsigned char* workBuf) {
    return sigFftFwd_R_32f(srcDst, srcDst, spec, workBuf);
}

int sigFftInvInPlace_R_32f_generic(float* srcDst, const sigFftSpec_R_32f* spec, unsigned char* workBuf) {
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
