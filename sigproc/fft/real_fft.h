// The real FFT as the rest of the library calls it: size queries, building a
// specification into caller buffers, the out-of-place transforms and the
// in-place packed multiply, none of which has an entry point of its own, and
// the generic members of the public entries.
//
// Call order: sigFftGetSize_R_32f; a specification buffer (and an init buffer
// when one is asked for); sigFftInit_R_32f; sigFftGetBufSize_R_32f and a work
// buffer of that size (or none: the transform then takes one per call); the
// transforms; sigFftFree_R_32f.
#pragma once

#include "sigproc/fft/record_layout.h"

// Bytes of the FFT specification buffer, the init buffer needed only while
// building, and one work buffer (0: none). Order outside 0..27 gives
// sigErrFftOrder, a null out pointer sigErrNullPtr, a flag other than
// 1, 2, 4, 8 sigErrFftFlag; nothing is written on failure. The hint is ignored.
int sigFftGetSize_R_32f(int order, int flag, int hint, int* pSpecBytes, int* pInitBytes,
                        int* pWorkBytes);

// Builds a specification at specBuf rounded up to 32 bytes; initBuf (rounded
// up to 32) is used only for orders above 10. The record's id is written last,
// so a build that fails never leaves a record that looks valid.
int sigFftInit_R_32f(sigFftSpec_R_32f** pSpec, int order, int flag, int hint,
                     unsigned char* specBuf, unsigned char* initBuf);

// Forward transform of 2^order reals into the packed spectrum (DC, Nyquist,
// then (re, im) of bins 1 .. N/2-1), and its inverse. src may equal dst;
// otherwise src is never written. workBuf may be null: a transform that needs a
// work area then takes one from the library allocator for the call.
int sigFftFwd_R_32f(const float* src, float* dst, const sigFftSpec_R_32f* spec,
                    unsigned char* workBuf);
int sigFftInv_R_32f(const float* src, float* dst, const sigFftSpec_R_32f* spec,
                    unsigned char* workBuf);

// srcDst = src * srcDst, bin by bin, on packed spectra of len floats; src may equal srcDst.
int sigMulPackInPlace_32f(const float* src, float* srcDst, int len);

// Generic members of the public entries.
int sigFftInitAlloc_R_32f_generic(sigFftSpec_R_32f** pSpec, int order, int flag, int hint);
int sigFftFree_R_32f_generic(sigFftSpec_R_32f* spec);
int sigFftFwdInPlace_R_32f_generic(float* srcDst, const sigFftSpec_R_32f* spec,
                                   unsigned char* workBuf);
int sigFftInvInPlace_R_32f_generic(float* srcDst, const sigFftSpec_R_32f* spec,
                                   unsigned char* workBuf);
int sigMulPack_32f_generic(const float* src1, const float* src2, float* dst, int len);
