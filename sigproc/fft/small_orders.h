// Closed forms of the real transforms of 1, 2, 4 and 8 points, and of the
// forward complex transforms of as many (re, im) pairs. Each reads all
// its inputs before it writes, so src may equal dst; scale multiplies every
// output (1 for an unscaled direction).
#pragma once

void sigFftSmallFwd_R_32f(const float* src, float* dst, int order, float scale);
void sigFftSmallInv_R_32f(const float* src, float* dst, int order, float scale);
void sigFftSmallFwd_C_32fc(const float* src, float* dst, int order, float scale);

// The real closed form of either direction.
template <bool Inverse>
void sigFftSmall_R_32f(const float* src, float* dst, int order, float scale) {
    if constexpr (Inverse) {
        sigFftSmallInv_R_32f(src, dst, order, scale);
    } else {
        sigFftSmallFwd_R_32f(src, dst, order, scale);
    }
}
