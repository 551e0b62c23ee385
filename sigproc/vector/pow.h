// Vector power.
#pragma once

int sigPow_32f_generic(const float* src1, const float* src2, float* dst, int len);

// Raises one IEEE exception flag by an operation whose result is discarded:
// 12 overflow, 17 underflow, 18 divide-by-zero, 19 invalid; any other code
// does nothing. The element index, the vectors and the caller's context
// pointer describe where it happened and are not read.
void sigRaiseFpException(int code, int index, const float* src1, const float* src2, float* dst,
                         float* dst2, const void* context);
