// The processor-specific members of the real FFT, slots 1 to 5 of its
// dispatch groups: sse (1), sse2 (2), sse3 (3), ssse3 (4), sse41 (5). Each
// slot is a closed set: its set-up lays out the tables its own transforms
// read, and its transforms accept only records that its own set-up built. A
// record built by another slot, the generic one included, is refused with
// sigErrStateMismatch before anything is written, as is a slot's record
// given to the generic transforms; the size queries, the work-size query and
// free serve every slot's records alike.
//
// Each member takes the arguments, makes the checks in the order and returns
// the statuses of the generic member (real_fft.h) and writes the same packed
// spectrum with the same scaling; the results differ from the generic ones by
// single-precision rounding only, except for orders 0 to 3, which run the
// generic closed forms. The slots differ in speed, not in results' meaning:
// in the orders at which they change from the in-cache transform to the
// bit reversal and passes and to the large-order decomposition.
#pragma once

#include "sigproc/fft/record_layout.h"

#define SIG_FFT_SIMD_DECLARE(suffix)                                                               \
    int sigFftGetSize_R_32f_##suffix(int order, int flag, int hint, int* pSpecBytes,               \
                                     int* pInitBytes, int* pWorkBytes);                            \
    int sigFftInit_R_32f_##suffix(sigFftSpec_R_32f** pSpec, int order, int flag, int hint,         \
                                  unsigned char* specBuf, unsigned char* initBuf);                 \
    int sigFftInitAlloc_R_32f_##suffix(sigFftSpec_R_32f** pSpec, int order, int flag, int hint);   \
    int sigFftFwd_R_32f_##suffix(const float* src, float* dst, const sigFftSpec_R_32f* spec,       \
                                 unsigned char* workBuf);                                          \
    int sigFftInv_R_32f_##suffix(const float* src, float* dst, const sigFftSpec_R_32f* spec,       \
                                 unsigned char* workBuf);                                          \
    int sigFftFwdInPlace_R_32f_##suffix(float* srcDst, const sigFftSpec_R_32f* spec,               \
                                        unsigned char* workBuf);                                   \
    int sigFftInvInPlace_R_32f_##suffix(float* srcDst, const sigFftSpec_R_32f* spec,               \
                                        unsigned char* workBuf);                                   \
    int sigMulPackInPlace_32f_##suffix(const float* src, float* srcDst, int len);

SIG_FFT_SIMD_DECLARE(sse41)
SIG_FFT_SIMD_DECLARE(ssse3)
SIG_FFT_SIMD_DECLARE(sse3)
SIG_FFT_SIMD_DECLARE(sse2)
SIG_FFT_SIMD_DECLARE(sse)

#undef SIG_FFT_SIMD_DECLARE
