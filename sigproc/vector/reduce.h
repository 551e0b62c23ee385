// Sum, mean and dot product. No entry points: reached only through their
// dispatch groups or by direct calls.
#pragma once

// hint selects a summation in the processor-specific members; the generic
// member ignores it.
int sigSum_32f_generic(const float* src, int len, float* sum, int hint);
int sigMean_32f_generic(const float* src, int len, float* mean, int hint);
int sigDotProd_32f_generic(const float* src1, const float* src2, int len, float* dp);
