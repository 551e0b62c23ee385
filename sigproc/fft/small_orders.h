// Closed forms of the real transforms of 1, 2, 4 and 8 points. Each reads all
// its inputs before it writes, so src may equal dst; scale multiplies every
// output (1 for an unscaled direction).
#pragma once

void sigFftSmallFwd_R_32f(const float* src, float* dst, int order, float scale);
void sigFftSmallInv_R_32f(const float* src, float* dst, int order, float scale);
