// Element-wise operations on float vectors that have entry points.
#pragma once

int sigAbsInPlace_32f_generic(float* srcDst, int len);
int sigMax_32f_generic(const float* src, int len, float* max);
int sigMin_32f_generic(const float* src, int len, float* min);
int sigMulInPlace_32f_generic(const float* src, float* srcDst, int len);
int sigFlip_32f_generic(const float* src, float* dst, int len);
int sigAdd_32f_generic(const float* src1, const float* src2, float* dst, int len);
int sigSub_32f_generic(const float* src1, const float* src2, float* dst, int len);
int sigAddProductConst_32f_generic(const float* src, float val, float* srcDst, int len);
