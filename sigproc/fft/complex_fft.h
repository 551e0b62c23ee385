// The forward complex FFT: 2^order complex values, each a (re, im) pair of
// floats, in natural order in and out, X[k] = sum x[n] exp(-2*pi*i*n*k/N).
//
// It runs from a record of its own (id 4) with the real FFT's header, flags
// and complex tables, made the same way: size query, build into caller
// buffers or allocate-and-build, free. There is no inverse; the inverse
// scaling word is stored and never read. No entry point reaches this family:
// its operations are the members of their dispatch groups and direct calls.
#pragma once

#include "sigproc/fft/record_layout.h"

// Bytes of the record buffer, the init buffer needed only while building, and
// one work buffer (0: none). Order outside 0..27 gives sigErrFftOrder (28 to
// 30 need sizes the 32-bit size words cannot carry), a null out pointer
// sigErrNullPtr, a bad flag sigErrFftFlag; nothing is written on failure.
int sigFftGetSize_C_32fc(int order, int flag, int hint, int* pSpecBytes, int* pInitBytes,
                         int* pWorkBytes);

// Builds a record at specBuf rounded up to 32; initBuf (rounded up to 32) is
// needed only for orders above 10. The id is written last.
int sigFftInit_C_32fc(sigFftSpec_C_32fc** pSpec, int order, int flag, int hint,
                      unsigned char* specBuf, unsigned char* initBuf);

// Members of dispatch groups 10 to 12 of the second table. src may equal
// dst; otherwise src is never written. workBuf may be null: a transform that
// needs a work area (orders from 13 on) then takes one for the call. The
// forward scale applies at every order.
int sigFftInitAlloc_C_32fc_generic(sigFftSpec_C_32fc** pSpec, int order, int flag, int hint);
int sigFftFree_C_32fc_generic(sigFftSpec_C_32fc* spec);
int sigFftFwd_CToC_32fc_generic(const float* src, float* dst, const sigFftSpec_C_32fc* spec,
                                unsigned char* workBuf);
