#include "sigproc/fft/complex_fft.h"

#include "sigproc/fft/blocked_fft.h"
#include "sigproc/fft/plane_fft.h"
#include "sigproc/fft/record_build.h"
#include "sigproc/fft/small_orders.h"
#include "sigproc/fft/transform_checks.h"
#include "sigproc/fft/work_area.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/arith_const.h"

#include <cstdint>

namespace {

constexpr sigFftRecordKind kComplex{sigFftSpecId_C, sigFftComplexSizesOf, false, nullptr, nullptr};

} // namespace

int sigFftGetSize_C_32fc(int order, int flag, int, int* pSpecBytes, int* pInitBytes,
                         int* pWorkBytes) {
    return sigFftQuerySizes(sigFftComplexSizesOf, order, flag, pSpecBytes, pInitBytes, pWorkBytes);
}

int sigFftInit_C_32fc(sigFftSpec_C_32fc** pSpec, int order, int flag, int hint,
                      unsigned char* specBuf, unsigned char* initBuf) {
    return sigFftInitRecord(pSpec, kComplex, order, flag, hint, specBuf, initBuf);
}

int sigFftInitAlloc_C_32fc_generic(sigFftSpec_C_32fc** pSpec, int order, int flag, int hint) {
    return sigFftInitAllocRecord(pSpec, kComplex, order, flag, hint);
}

int sigFftFree_C_32fc_generic(sigFftSpec_C_32fc* spec) { return sigFftFreeRecord(spec, kComplex); }

int sigFftFwd_CToC_32fc_generic(const float* src, float* dst, const sigFftSpec_C_32fc* spec,
                                unsigned char* workBuf) {
    if (const int status = sigFftCheckTransform(spec, sigFftSpecId_C, src, dst); status != sigOk)
        return status;
    const int order = spec->order;
    if (order <= sigFftClosedFormMaxOrder) {
        sigFftSmallFwd_C_32fc(src, dst, order, spec->scaleFwd != 0 ? spec->scaleFactor : 1.0f);
        return sigOk;
    }
    if (order <= sigFftPlaneMaxComplexOrder) {
        sigFftPlaneFwd_32fc(src, dst, order, spec->table<float>(spec->twiddles));
        if (spec->scaleFwd != 0) sigMulConstInPlace_32f_generic(spec->scaleFactor, dst, 2 << order);
        return sigOk;
    }
    sigFftWorkArea work;
    if (!work.acquire(*spec, workBuf)) return sigErrNoMemory;
    sigFftBlockedFwd_32fc(*spec, src, dst, order, work.get());
    return sigOk;
}
