// IIR filters: set-up, release and processing of sigIirState records.
#pragma once

#include "sigproc/filters/iir_state.h"

#include <cstdint>

// Generic members. The size query, the in-buffer set-up and the in-place
// filter have dispatch groups but no entry points.
int sigIirInitAlloc_32f_generic(sigIirState** pState, const float* taps, int order,
                                const float* dlyLine);
int sigIirFree_32f_generic(sigIirState* state);
int sigIirGetStateSize_32f_generic(int order, int* pSize);
int sigIirInit_32f_generic(sigIirState** pState, const float* taps, int order, const float* dlyLine,
                           unsigned char* buffer);
int sigIirProcess_32f_generic(const float* src, float* dst, int len, sigIirState* state);
int sigIirProcessInPlace_32f_generic(float* srcDst, int len, sigIirState* state);

// Bytes for a state of `order` in a caller's buffer, including 16 bytes of
// slack for rounding the buffer up. The id does not change the size. A size
// the 32-bit count cannot carry is refused with sigErrIirOrder.
int sigIirStateSize_32f(int order, int* pSize, std::uint32_t id);

// Lays a state out in `buffer` (rounded up to 16 bytes), stores *pState and
// gives the status of sigIirNormalizeTaps_32f. A zero a0 is refused with
// sigErrDivByZero before anything is written.
int sigIirInitState_32f(sigIirState** pState, const float* taps, int order, const float* dlyLine,
                        unsigned char* buffer, std::uint32_t id);

// Stores taps b0..bN, a1..aN divided by a0 into the state's taps area, or
// refuses a zero a0 with sigErrDivByZero without writing.
int sigIirNormalizeTaps_32f(const float* taps, sigIirState* state);

// The body of sigIirInitAlloc_32f after its argument checks.
int sigIirInitAllocState_32f(sigIirState** pState, const float* taps, int order,
                             const float* dlyLine, std::uint32_t id);

// The II01 arithmetic, after the argument checks; src may equal dst.
void sigIirTdf2Kernel_32f(const float* src, float* dst, int len, sigIirState* state);
