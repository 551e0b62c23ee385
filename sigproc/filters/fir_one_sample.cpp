// One sample through a FIR whose whole state the caller holds: a delay line of
// 2·tapsLen floats and the index at which the next sample goes. Every sample
// is written twice, tapsLen apart, so the last tapsLen samples always lie
// contiguous, oldest first, from the index on, and the dot product never wraps.
#include "sigproc/filters/fir.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/sigproc.h"

int sigFirOneSample_32f_generic(float src, float* pDstVal, const float* taps, int tapsLen,
                                float* dlyLine, int* pDlyLineIndex) {
    if (pDstVal == nullptr || taps == nullptr) return sigErrNullPtr;
    if (tapsLen <= 0) return sigErrFirLength;
    if (dlyLine == nullptr || pDlyLineIndex == nullptr) return sigErrNullPtr;
    int index = *pDlyLineIndex;
    // An index no earlier call could have left would write outside the line.
    if (index < 0 || index >= tapsLen) return sigErrStateMismatch;

    dlyLine[std::int64_t{tapsLen} + index] = src;
    dlyLine[index] = src;
    if (++index >= tapsLen) index = 0;
    *pDlyLineIndex = index;

    // Oldest sample first, against the last tap.
    const float* window = dlyLine + index;
    double sum = 0.0;
    for (int k = 0; k < tapsLen; ++k) {
        sum += static_cast<double>(taps[tapsLen - 1 - k]) * window[k];
    }
    *pDstVal = static_cast<float>(sum);
    return sigOk;
}

int sigFirOneSample_32f(float src, float* pDstVal, const float* taps, int tapsLen, float* dlyLine,
                        int* pDlyLineIndex) {
    return sigDispatch(sigDispatchTable.firOneSample_32f, src, pDstVal, taps, tapsLen, dlyLine,
                       pDlyLineIndex);
}
