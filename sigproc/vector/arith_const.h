// Arithmetic with a constant, and the in-place vector add.
#pragma once

int sigAddInPlace_32f_generic(const float* src, float* srcDst, int len);
int sigAddConstInPlace_32f_generic(float val, float* srcDst, int len);
int sigMulConstInPlace_32f_generic(float val, float* srcDst, int len);
int sigMulConst_32f_generic(const float* src, float val, float* dst, int len);
int sigDivConstInPlace_32f_generic(float val, float* srcDst, int len);

// No entry point: reached through sigDivConstInPlace_32f. src may equal dst.
int sigDivConst_32f_generic(const float* src, float val, float* dst, int len);
