// Results are formed in double precision and rounded to single once; an
// output may be the very array of an input.
#include "sigproc/vector/vector_arith.h"

#include "sigproc/sigproc.h"
#include "sigproc/vector/created_nan.h"

#include <cmath>
#include <limits>

namespace {

int checkPair(const void* a, const void* b, int len) {
    if (a == nullptr || b == nullptr) return sigErrNullPtr;
    return len <= 0 ? sigErrLength : sigOk;
}

int checkTriple(const void* a, const void* b, const void* c, int len) {
    if (a == nullptr || b == nullptr || c == nullptr) return sigErrNullPtr;
    return len <= 0 ? sigErrLength : sigOk;
}

// A zero divisor of either sign gives an infinity of the dividend's sign, or
// the NaN for a zero or NaN dividend.
float quotientByZero(float dividend) {
    if (dividend > 0.0f) return std::numeric_limits<float>::infinity();
    if (dividend < 0.0f) return -std::numeric_limits<float>::infinity();
    return sigCreatedNan;
}

} // namespace

int sigSqr_32f_generic(const float* src, float* dst, int len) {
    if (const int status = checkPair(src, dst, len); status != sigOk) return status;
    for (int i = 0; i < len; ++i) dst[i] = static_cast<float>(double(src[i]) * double(src[i]));
    return sigOk;
}

int sigMul_32f_generic(const float* src1, const float* src2, float* dst, int len) {
    if (const int status = checkTriple(src1, src2, dst, len); status != sigOk) return status;
    for (int i = 0; i < len; ++i) dst[i] = static_cast<float>(double(src1[i]) * double(src2[i]));
    return sigOk;
}

int sigDiv_32f_generic(const float* src1, const float* src2, float* dst, int len) {
    if (const int status = checkTriple(src1, src2, dst, len); status != sigOk) return status;
    int status = sigOk;
    for (int i = 0; i < len; ++i) {
        const float divisor = src1[i];
        const float dividend = src2[i];
        if (divisor != 0.0f) { // a NaN divisor divides like any other
            dst[i] = static_cast<float>(double(dividend) / double(divisor));
        } else {
            dst[i] = quotientByZero(dividend);
            status = sigWarnDivByZero;
        }
    }
    return status;
}

int sigAddProduct_32f_generic(const float* src1, const float* src2, float* srcDst, int len) {
    if (const int status = checkTriple(src1, src2, srcDst, len); status != sigOk) return status;
    for (int i = 0; i < len; ++i)
        srcDst[i] = static_cast<float>(double(srcDst[i]) + double(src1[i]) * double(src2[i]));
    return sigOk;
}

// Only a strictly smaller (larger) source replaces: NaN on either side and
// equal values, zeros of either sign included, leave the destination alone.
int sigMinEveryInPlace_32f_generic(const float* src, float* srcDst, int len) {
    if (const int status = checkPair(src, srcDst, len); status != sigOk) return status;
    for (int i = 0; i < len; ++i)
        if (srcDst[i] > src[i]) srcDst[i] = src[i];
    return sigOk;
}

int sigMaxEveryInPlace_32f_generic(const float* src, float* srcDst, int len) {
    if (const int status = checkPair(src, srcDst, len); status != sigOk) return status;
    for (int i = 0; i < len; ++i)
        if (srcDst[i] < src[i]) srcDst[i] = src[i];
    return sigOk;
}
