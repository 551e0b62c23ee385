// Bin-by-bin products of packed real spectra: element 0 (DC) and, for an even
// length, element 1 (Nyquist) are plain reals; the pairs behind them are
// complex, multiplied without conjugation. Each product is formed in double
// and rounded once when stored.
#include "sigproc/core/dispatch.h"
#include "sigproc/fft/mul_pack_lanes.h"
#include "sigproc/fft/real_fft.h"
#include "sigproc/sigproc.h"

#include <cstddef>

namespace {

// Reads every operand of a bin before writing it, so dst may be either source.
// The length is taken wider than int: with an odd len of INT_MAX, an int index
// would overflow in its last step. The complex bins run in vector lanes
// (sigproc/fft/mul_pack_lanes.h).
void multiplyPacked(const float* a, const float* b, float* dst, std::ptrdiff_t len) {
    const std::ptrdiff_t firstPair = len % 2 == 0 ? 2 : 1;
    dst[0] = static_cast<float>(double{a[0]} * b[0]);
    if (firstPair == 2) dst[1] = static_cast<float>(double{a[1]} * b[1]);
    sigMulPackBinRuns.select()(a + firstPair, b + firstPair, dst + firstPair,
                               (len - firstPair) / 2);
}

} // namespace

int sigMulPack_32f_generic(const float* src1, const float* src2, float* dst, int len) {
    if (src1 == nullptr || src2 == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    multiplyPacked(src1, src2, dst, len);
    return sigOk;
}

int sigMulPackInPlace_32f(const float* src, float* srcDst, int len) {
    if (src == nullptr || srcDst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    multiplyPacked(src, srcDst, srcDst, len);
    return sigOk;
}

int sigMulPack_32f(const float* src1, const float* src2, float* dst, int len) {
    return sigDispatch(sigDispatchTableA.mulPack_32f, src1, src2, dst, len);
}
