// Moving 32-bit samples between planes (one array per channel) and
// interleaved frames. Words are moved bit for bit, never as floats.
#pragma once

int sigInterleave_32f_generic(const float* const* srcPlanes, int nChannels, int len, float* dst);
int sigDeinterleave_32f_generic(const float* src, int nChannels, int len, float* const* dstPlanes);
