// Accumulators are doubles and the order of additions is fixed, so a result
// does not depend on how the data happen to be laid out.
#include "sigproc/vector/reduce.h"

#include "sigproc/sigproc.h"

namespace {

// Two accumulators take alternate elements of each group of four, then meet,
// and the zero to three elements left over are added in index order.
double sumOf(const float* src, int len) {
    double a = 0.0;
    double b = 0.0;
    int i = 0;
    for (; len - i >= 4; i += 4) {
        a += src[i];
        b += src[i + 1];
        a += src[i + 2];
        b += src[i + 3];
    }
    double s = a + b;
    for (; i < len; ++i) s += src[i];
    return s;
}

} // namespace

int sigSum_32f_generic(const float* src, int len, float* sum, int) {
    if (src == nullptr || sum == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    *sum = static_cast<float>(sumOf(src, len));
    return sigOk;
}

int sigMean_32f_generic(const float* src, int len, float* mean, int) {
    if (src == nullptr || mean == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    *mean = static_cast<float>(sumOf(src, len) / double(len));
    return sigOk;
}

// Products of floats are exact in double; they are added oldest first.
int sigDotProd_32f_generic(const float* src1, const float* src2, int len, float* dp) {
    if (src1 == nullptr || src2 == nullptr || dp == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    double acc = 0.0;
    for (int i = 0; i < len; ++i) acc += double(src1[i]) * double(src2[i]);
    *dp = static_cast<float>(acc);
    return sigOk;
}
