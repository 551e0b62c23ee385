// Products, quotients and element-wise minimum and maximum of two vectors. No
// entry points: reached only through their dispatch groups or by direct calls.
#pragma once

int sigSqr_32f_generic(const float* src, float* dst, int len);
int sigMul_32f_generic(const float* src1, const float* src2, float* dst, int len);
// dst[i] = src2[i] / src1[i]: the first vector is the divisor.
int sigDiv_32f_generic(const float* src1, const float* src2, float* dst, int len);
int sigAddProduct_32f_generic(const float* src1, const float* src2, float* srcDst, int len);
int sigMinEveryInPlace_32f_generic(const float* src, float* srcDst, int len);
int sigMaxEveryInPlace_32f_generic(const float* src, float* srcDst, int len);
