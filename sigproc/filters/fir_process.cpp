// Block processing through a FIR state: the entry's checks and the choice of
// path. Long blocks through filters with an FFT part take the overlap path;
// everything else the direct path. Both keep the same history, so a state may
// change path from one call to the next.
#include "sigproc/filters/fir.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/filters/fir_multirate.h"
#include "sigproc/sigproc.h"

namespace {

// Multi-rate states run the routine of their layout's mode.
int processMultiRate(sigFirState* state, const float* src, float* dst, int numIters) {
    switch (state->mode) {
    case 1:
        return sigFirMrProcessDense_32f(state, src, dst, numIters);
    case 2:
        return sigFirMrProcessDown_32f(state, src, dst, numIters);
    case 3:
        return sigFirMrProcessIndexed_32f(state, src, dst, numIters);
    default:
        return sigErrStateMismatch;
    }
}

} // namespace

int sigFirProcess_32f_generic(const float* src, float* dst, int numIters, sigFirState* pState) {
    if (pState == nullptr || src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (numIters <= 0) return sigErrLength;
    if (pState->id == sigFirIdMultiRate) return processMultiRate(pState, src, dst, numIters);
    if (pState->id != sigFirIdSingleRate) return sigErrStateMismatch;
    if (numIters >= sigFirOverlapMinBlock && pState->fftLen > 0) {
        return sigFirProcessFft_32f(pState, src, dst, numIters);
    }
    sigFirProcessDirect_32f(pState, src, dst, numIters);
    return sigOk;
}

int sigFirProcess_32f(const float* src, float* dst, int numIters, sigFirState* pState) {
    return sigDispatch(sigDispatchTable.firProcess_32f, src, dst, numIters, pState);
}
