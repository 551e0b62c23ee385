// Samples move bit for bit; inserted zeros are +0.0. The phase lives in the
// caller's word, so a stream split into blocks of any length gives the same
// samples as one call over the whole stream.
#include "sigproc/vector/sampling.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/fill.h"

#include <cstdint>
#include <limits>

namespace {

int checkArguments(const float* src, int srcLen, const float* dst, const int* dstLen, int factor,
                   const int* phase) {
    if (src == nullptr || dst == nullptr || dstLen == nullptr || phase == nullptr)
        return sigErrNullPtr;
    if (srcLen < 1) return sigErrLength;
    if (factor < 1) return sigErrSampleFactor;
    if (*phase < 0 || *phase >= factor) return sigErrSamplePhase;
    return sigOk;
}

inline void putZeros(float*& out, int count) {
    for (int z = 0; z < count; ++z) *out++ = 0.0f;
}

} // namespace

// Written strictly front to back: phase zeros, then each sample followed by
// factor - 1 zeros, less the phase at the end, so every output element is
// written exactly once.
int sigSampleUp_32f_generic(const float* src, int srcLen, float* dst, int* dstLen, int factor,
                            int* phase) {
    const int status = checkArguments(src, srcLen, dst, dstLen, factor, phase);
    if (status != sigOk) return status;
    // An output length that the length word cannot hold would have the
    // caller's buffer overrun long before anything noticed.
    const std::int64_t outLen = std::int64_t{srcLen} * factor;
    if (outLen > std::numeric_limits<int>::max()) return sigErrLength;

    *dstLen = static_cast<int>(outLen);
    if (factor == 1) return sigCopy_32f_generic(src, dst, srcLen);

    const int p = *phase;
    float* out = dst;
    putZeros(out, p);
    *out++ = src[0];
    for (int k = 1; k < srcLen; ++k) {
        putZeros(out, factor - 1);
        *out++ = src[k];
    }
    putZeros(out, factor - 1 - p);
    return sigOk;
}

int sigSampleDown_32f_generic(const float* src, int srcLen, float* dst, int* dstLen, int factor,
                              int* phase) {
    const int status = checkArguments(src, srcLen, dst, dstLen, factor, phase);
    if (status != sigOk) return status;
    if (factor == 1) {
        sigCopy_32f_generic(src, dst, srcLen);
        *dstLen = srcLen;
        return sigOk;
    }
    // The index runs in 64 bits: one step past the end may exceed int's range.
    std::int64_t i = *phase;
    int n = 0;
    for (; i < srcLen; i += factor) dst[n++] = src[i];
    *phase = static_cast<int>(i - srcLen);
    *dstLen = n;
    return sigOk;
}

int sigSampleUp_32f(const float* src, int srcLen, float* dst, int* dstLen, int factor, int* phase) {
    return sigDispatch(sigDispatchTableA.sampleUp_32f, src, srcLen, dst, dstLen, factor, phase);
}

int sigSampleDown_32f(const float* src, int srcLen, float* dst, int* dstLen, int factor,
                      int* phase) {
    return sigDispatch(sigDispatchTableA.sampleDown_32f, src, srcLen, dst, dstLen, factor, phase);
}
