// Constants are recognised by floating-point equality: -0.0 counts as zero,
// and a NaN constant matches nothing, so it takes the general loop.
#include "sigproc/vector/arith_const.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/fill.h"

int sigAddInPlace_32f_generic(const float* src, float* srcDst, int len) {
    if (src == nullptr || srcDst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    for (int i = 0; i < len; ++i) srcDst[i] = srcDst[i] + src[i];
    return sigOk;
}

int sigAddConstInPlace_32f_generic(float val, float* srcDst, int len) {
    if (srcDst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    if (val == 0.0f) return sigOk;
    for (int i = 0; i < len; ++i) srcDst[i] = srcDst[i] + val;
    return sigOk;
}

// A copy onto the same array moves nothing, so a multiply by 1 in place
// leaves every bit alone, signalling NaNs included.
int sigMulConst_32f_generic(const float* src, float val, float* dst, int len) {
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    if (val == 1.0f) return sigCopy_32f_generic(src, dst, len);
    if (val == 0.0f) return sigZero_32f_generic(dst, len);
    for (int i = 0; i < len; ++i) dst[i] = src[i] * val;
    return sigOk;
}

int sigMulConstInPlace_32f_generic(float val, float* srcDst, int len) {
    return sigMulConst_32f_generic(srcDst, val, srcDst, len);
}

// Division is a multiply by the single-precision reciprocal, never a true
// division: the reciprocal is 1 only for 1, and 0 only for an infinity.
int sigDivConst_32f_generic(const float* src, float val, float* dst, int len) {
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    if (val == 0.0f) return sigErrDivByZero;
    const float reciprocal = 1.0f / val;
    return sigMulConst_32f_generic(src, reciprocal, dst, len);
}

int sigDivConstInPlace_32f_generic(float val, float* srcDst, int len) {
    return sigDivConst_32f_generic(srcDst, val, srcDst, len);
}

int sigAddInPlace_32f(const float* src, float* srcDst, int len) {
    return sigDispatch(sigDispatchTable.addInPlace_32f, src, srcDst, len);
}

int sigAddConstInPlace_32f(float val, float* srcDst, int len) {
    return sigDispatch(sigDispatchTable.addConstInPlace_32f, val, srcDst, len);
}

int sigMulConstInPlace_32f(float val, float* srcDst, int len) {
    return sigDispatch(sigDispatchTable.mulConstInPlace_32f, val, srcDst, len);
}

int sigMulConst_32f(const float* src, float val, float* dst, int len) {
    return sigDispatch(sigDispatchTableA.mulConst_32f, src, val, dst, len);
}

int sigDivConstInPlace_32f(float val, float* srcDst, int len) {
    return sigDispatch(sigDispatchTable.divConstInPlace_32f, val, srcDst, len);
}
