// The steps between a real transform of N points and the complex transform of
// its n = N/2 (re, im) pairs: the forward split turns the complex spectrum Z
// into the packed real spectrum; the inverse merge turns a packed spectrum
// into twice the complex spectrum whose inverse gives the N reals. Both pair
// bin k with bin n-k and read a pair before writing it.
#pragma once

#include <cstddef>

// The two bins of one pair.
struct sigBinPair {
    float loRe, loIm; // bin k
    float hiRe, hiIm; // bin n-k
};

// Forward split of Z[k] = (b, f) and Z[n-k] = (c, d) with realSplit entry k,
// (h, e) = (cos(2*pi*k/N) / 2, (1 - sin(2*pi*k/N)) / 2).
inline sigBinPair sigSplitBins(float b, float f, float c, float d, float h, float e) {
    const float l = (b - c) * e + (f + d) * h;
    const float g = (f + d) * e - (b - c) * h;
    return {c + l, g - d, b - l, g - f};
}

// Inverse merge of P[k] = (c, f) and P[n-k] = (d, g) with realRot entry k,
// (h, e) = (cos(2*pi*k/N), -sin(2*pi*k/N)).
inline sigBinPair sigMergeBins(float c, float f, float d, float g, float h, float e) {
    const float l = (c - d) * e - (f + g) * h;
    const float q = (c - d) * h + (f + g) * e;
    return {c + d + l, f - g + q, c + d - l, q - (f - g)};
}

// In place on the n complex values of z.
void sigFftRealPostFwd_32f(float* z, std::ptrdiff_t n, const float* realSplit);

// The parts of the split a vector member does one value at a time: the DC and
// Nyquist pair and bins 1 to binEnd - 1 (then bins binEnd to n/2 - 1 and the
// middle bin remain).
void sigFftRealPostFwdHead_32f(float* z, std::ptrdiff_t n, const float* realSplit,
                               std::ptrdiff_t binEnd);

// From the packed spectrum p into z (p may equal z).
void sigFftRealPreInv_32f(const float* p, float* z, std::ptrdiff_t n, const float* realRot);

// Likewise for the merge: the head before bins binEnd to n/2 - 1, the middle
// bin after them.
void sigFftRealPreInvHead_32f(const float* p, float* z, std::ptrdiff_t n, const float* realRot,
                              std::ptrdiff_t binEnd);
void sigFftRealPreInvMiddle_32f(const float* p, float* z, std::ptrdiff_t n);
