// The forward and inverse real transforms and their in-place entries.
#include "sigproc/core/dispatch.h"
#include "sigproc/fft/blocked_fft.h"
#include "sigproc/fft/plane_fft.h"
#include "sigproc/fft/real_fft.h"
#include "sigproc/fft/real_split.h"
#include "sigproc/fft/small_orders.h"
#include "sigproc/fft/transform_checks.h"
#include "sigproc/fft/work_area.h"
#include "sigproc/sigproc.h"

#include <cstddef>

namespace {

// Both directions: the closed forms for orders 0 to 3, the working copy in
// planes for 5 to 10, otherwise the complex transform of the half length in
// dst, preceded by the merge (inverse) or followed by the split (forward).
template <bool Inverse>
int realTransform(const float* src, float* dst, const sigFftSpec_R_32f* spec,
                  unsigned char* workBuf) {
    if (const int status = sigFftCheckTransform(spec, sigFftSpecId, src, dst); status != sigOk)
        return status;
    const int order = spec->order;
    const bool scaled = (Inverse ? spec->scaleInv : spec->scaleFwd) != 0;
    if (order <= sigFftClosedFormMaxOrder) {
        sigFftSmall_R_32f<Inverse>(src, dst, order, scaled ? spec->scaleFactor : 1.0f);
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
    sigFftWorkArea work;
    if (!work.acquire(*spec, workBuf)) return sigErrNoMemory;

    const int m = order - 1;
    const std::ptrdiff_t n = std::ptrdiff_t{1} << m;
    if constexpr (Inverse) {
        sigFftRealPreInv_32f(src, dst, n, spec->table<float>(spec->realRot));
        // The merged values are already in dst.
        sigFftBlockedInv_32fc(*spec, dst, dst, m, work.get());
    } else {
        sigFftBlockedFwd_32fc(*spec, src, dst, m, work.get());
        sigFftRealPostFwd_32f(dst, n, spec->table<float>(spec->realSplit));
    }
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
    return sigDispatch(sigDispatchTableA.fftFwdInPlace_R_32f, srcDst, spec, workBuf);
}

int sigFftInvInPlace_R_32f(float* srcDst, const sigFftSpec_R_32f* spec, unsigned char* workBuf) {
    return sigDispatch(sigDispatchTableA.fftInvInPlace_R_32f, srcDst, spec, workBuf);
}
