// The multi-rate FIR routines of processor slots 1 to 5: the generic
// routines' head, body and tail, with every group of four outputs computed by
// a vector kernel that sums in single precision (the outputs one at a time
// stay sums in double). Grouped outputs therefore differ from the generic
// routines' by single-precision rounding, at most about (row length)·2^-24 of
// the sum of the products' magnitudes. Slot 1 has its own kernels; slots 2 to
// 5 share one set.
#pragma once

#include "sigproc/filters/fir_state.h"

int sigFirMrProcessDense_32f_sse(sigFirState* state, const float* src, float* dst, int numIters);
int sigFirMrProcessDown_32f_sse(sigFirState* state, const float* src, float* dst, int numIters);
int sigFirMrProcessIndexed_32f_sse(sigFirState* state, const float* src, float* dst, int numIters);

int sigFirMrProcessDense_32f_sse2(sigFirState* state, const float* src, float* dst, int numIters);
int sigFirMrProcessDown_32f_sse2(sigFirState* state, const float* src, float* dst, int numIters);
int sigFirMrProcessIndexed_32f_sse2(sigFirState* state, const float* src, float* dst, int numIters);
