// Each output element depends only on the inputs at its own index, which are
// read before it is written, so an output may be the very array of an input.
#include "sigproc/vector/elementwise.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/extreme_lanes.h"
#include "sigproc/vector/fill.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace {

// Ordered comparisons: a NaN never replaces the running value, and among
// equal values (-0.0 and +0.0 included) the first one stays. The walk runs in
// vector lanes (sigproc/vector/extreme_lanes.h).
int scan(const float* src, int len, float* result, const sigWideVariants<sigExtremeScan>& scans) {
    if (src == nullptr || result == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    *result = scans.select()(src, len);
    return sigOk;
}

bool overlaps(const float* a, const float* b, int len) {
    const auto x = reinterpret_cast<std::uintptr_t>(a);
    const auto y = reinterpret_cast<std::uintptr_t>(b);
    const auto bytes = static_cast<std::uintptr_t>(len) * sizeof(float);
    return x < y + bytes && y < x + bytes;
}

void reverseInPlace(float* v, int len) {
    for (int i = 0, j = len - 1; i < j; ++i, --j) {
        std::uint32_t a;
        std::uint32_t b;
        std::memcpy(&a, v + i, 4);
        std::memcpy(&b, v + j, 4);
        std::memcpy(v + i, &b, 4);
        std::memcpy(v + j, &a, 4);
    }
}

} // namespace

int sigAbsInPlace_32f_generic(float* srcDst, int len) {
    if (srcDst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    for (int i = 0; i < len; ++i)
        srcDst[i] = std::bit_cast<float>(std::bit_cast<std::uint32_t>(srcDst[i]) & 0x7FFFFFFFu);
    return sigOk;
}

int sigMax_32f_generic(const float* src, int len, float* max) {
    return scan(src, len, max, sigMaxScans);
}

int sigMin_32f_generic(const float* src, int len, float* min) {
    return scan(src, len, min, sigMinScans);
}

int sigMulInPlace_32f_generic(const float* src, float* srcDst, int len) {
    if (src == nullptr || srcDst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    for (int i = 0; i < len; ++i) srcDst[i] = src[i] * srcDst[i];
    return sigOk;
}

// Reads the source upwards and writes the destination downwards, words bit
// for bit. Overlapping arrays would lose samples that way; they are moved
// first and reversed in place instead.
int sigFlip_32f_generic(const float* src, float* dst, int len) {
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    if (overlaps(src, dst, len)) {
        sigMove_32f_generic(src, dst, len);
        reverseInPlace(dst, len);
        return sigOk;
    }
    for (int i = 0; i < len; ++i) std::memcpy(dst + (len - 1 - i), src + i, 4);
    return sigOk;
}

int sigAdd_32f_generic(const float* src1, const float* src2, float* dst, int len) {
    if (src1 == nullptr || src2 == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    for (int i = 0; i < len; ++i) dst[i] = src1[i] + src2[i];
    return sigOk;
}

int sigSub_32f_generic(const float* src1, const float* src2, float* dst, int len) {
    if (src1 == nullptr || src2 == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    for (int i = 0; i < len; ++i) dst[i] = src2[i] - src1[i];
    return sigOk;
}

// The product of two floats is exact in double; only the sum is rounded to
// single, once.
int sigAddProductConst_32f_generic(const float* src, float val, float* srcDst, int len) {
    if (src == nullptr || srcDst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    const double v = val;
    for (int i = 0; i < len; ++i)
        srcDst[i] = static_cast<float>(double(srcDst[i]) + double(src[i]) * v);
    return sigOk;
}

int sigAbsInPlace_32f(float* srcDst, int len) {
    return sigDispatch(sigDispatchTableA.absInPlace_32f, srcDst, len);
}

int sigMax_32f(const float* src, int len, float* max) {
    return sigDispatch(sigDispatchTableA.max_32f, src, len, max);
}

int sigMin_32f(const float* src, int len, float* min) {
    return sigDispatch(sigDispatchTableA.min_32f, src, len, min);
}

int sigMulInPlace_32f(const float* src, float* srcDst, int len) {
    return sigDispatch(sigDispatchTableA.mulInPlace_32f, src, srcDst, len);
}

int sigFlip_32f(const float* src, float* dst, int len) {
    return sigDispatch(sigDispatchTableA.flip_32f, src, dst, len);
}

int sigAdd_32f(const float* src1, const float* src2, float* dst, int len) {
    return sigDispatch(sigDispatchTableA.add_32f, src1, src2, dst, len);
}

int sigSub_32f(const float* src1, const float* src2, float* dst, int len) {
    return sigDispatch(sigDispatchTableA.sub_32f, src1, src2, dst, len);
}

int sigAddProductConst_32f(const float* src, float val, float* srcDst, int len) {
    return sigDispatch(sigDispatchTableA.addProductConst_32f, src, val, srcDst, len);
}
