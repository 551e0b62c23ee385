// Square root, natural logarithm and exponential in place. No entry points:
// reached only through their dispatch groups or by direct calls.
#pragma once

int sigSqrtInPlace_32f_generic(float* srcDst, int len);
int sigLnInPlace_32f_generic(float* srcDst, int len);
int sigExpInPlace_32f_generic(float* srcDst, int len);
