#include "sigproc/fft/real_split.h"

void sigFftRealPostFwdHead_32f(float* z, std::ptrdiff_t n, const float* realSplit,
                               std::ptrdiff_t binEnd) {
    const float d0 = z[0];
    const float d1 = z[1];
    z[0] = d0 + d1;
    z[1] = d0 - d1;
    for (std::ptrdiff_t k = 1; k < binEnd; ++k) {
        float* lo = z + 2 * k;
        float* hi = z + 2 * (n - k);
        const sigBinPair x =
            sigSplitBins(lo[0], lo[1], hi[0], hi[1], realSplit[2 * k], realSplit[2 * k + 1]);
        lo[0] = x.loRe;
        lo[1] = x.loIm;
        hi[0] = x.hiRe;
        hi[1] = x.hiIm;
    }
}

void sigFftRealPostFwd_32f(float* z, std::ptrdiff_t n, const float* realSplit) {
    sigFftRealPostFwdHead_32f(z, n, realSplit, n / 2);
    z[n + 1] = -z[n + 1];
}

void sigFftRealPreInvHead_32f(const float* p, float* z, std::ptrdiff_t n, const float* realRot,
                              std::ptrdiff_t binEnd) {
    // Both inputs are read before either output is written: p may be z.
    const float dc = p[0];
    const float nyquist = p[1];
    z[1] = dc - nyquist;
    z[0] = dc + nyquist;
    for (std::ptrdiff_t k = 1; k < binEnd; ++k) {
        const float* lo = p + 2 * k;
        const float* hi = p + 2 * (n - k);
        const sigBinPair x =
            sigMergeBins(lo[0], lo[1], hi[0], hi[1], realRot[2 * k], realRot[2 * k + 1]);
        z[2 * k] = x.loRe;
        z[2 * k + 1] = x.loIm;
        z[2 * (n - k)] = x.hiRe;
        z[2 * (n - k) + 1] = x.hiIm;
    }
}

void sigFftRealPreInvMiddle_32f(const float* p, float* z, std::ptrdiff_t n) {
    const float middleRe = p[n];
    const float middleIm = p[n + 1];
    z[n] = 2 * middleRe;
    z[n + 1] = -2 * middleIm;
}

void sigFftRealPreInv_32f(const float* p, float* z, std::ptrdiff_t n, const float* realRot) {
    sigFftRealPreInvHead_32f(p, z, n, realRot, n / 2);
    sigFftRealPreInvMiddle_32f(p, z, n);
}
