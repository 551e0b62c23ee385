// The complex bins of a packed spectrum product, built once per vector
// instruction set.
//
// A bin (ar, ai)·(br, bi) is (ar·br - ai·bi, ar·bi + ai·br): each product of
// two floats is exact in double, the sum or difference is rounded once in
// double and again when stored as a float. The builds form the same products
// and sums for several bins side by side (no fused multiply-add), so every
// build gives the scalar bits.
#pragma once

#include "sigproc/core/wide_isa.h"

#include <cstddef>

// dst[2k], dst[2k + 1] = the product of bin k of a and of b, for k < bins.
// Every bin is read before it is written, so dst may be either source.
using sigMulPackBins = void(const float* a, const float* b, float* dst, std::ptrdiff_t bins);
extern const sigWideVariants<sigMulPackBins> sigMulPackBinRuns;
