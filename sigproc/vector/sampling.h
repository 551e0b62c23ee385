// Up- and down-sampling by an integer factor, without filtering.
#pragma once

int sigSampleUp_32f_generic(const float* src, int srcLen, float* dst, int* dstLen, int factor,
                            int* phase);
int sigSampleDown_32f_generic(const float* src, int srcLen, float* dst, int* dstLen, int factor,
                              int* phase);
