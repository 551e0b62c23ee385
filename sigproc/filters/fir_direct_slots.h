// The block-processing members of processor slots 1 to 5.
//
// They run the generic entry's checks and overlap path, and the slot's
// multi-rate routines (fir_multirate_slots.h); the direct path of a single-rate state keeps the
// generic structure (head through the delay line, the rest straight from the source) but computes
// every output with a vector kernel that accumulates in single precision:
// tap k's product is added to one of four float lanes, the lanes are summed
// at the end. The outputs therefore differ from the generic member's sums in
// double by single-precision rounding, at most about tapsLen·2^-24 of the sum
// of the products' magnitudes.
//
// Slots 1 to 3 read the replicated taps and make four outputs per pass;
// slots 4 and 5 read the replicated taps below 32 taps and one of the four
// reversed copies from 32 taps on, one output per pass with aligned loads of
// taps and window. A state without the copies a kernel needs (made by the
// generic or another slot's set-up) is filtered by the generic direct path.
#pragma once

#include "sigproc/filters/fir.h"

int sigFirProcess_32f_sse(const float* src, float* dst, int numIters, sigFirState* pState);
int sigFirProcess_32f_sse2(const float* src, float* dst, int numIters, sigFirState* pState);
int sigFirProcess_32f_sse3(const float* src, float* dst, int numIters, sigFirState* pState);
int sigFirProcess_32f_ssse3(const float* src, float* dst, int numIters, sigFirState* pState);
int sigFirProcess_32f_sse41(const float* src, float* dst, int numIters, sigFirState* pState);

// Tap count from which slots 4 and 5 read the reversed copies.
inline constexpr int sigFirReversedMinTaps = 32;
