// Signal primitives: the public entry points of the library.
//
// Every operation returns a signed 32-bit status (0 success, negative error
// with no result written, positive warning with a complete result), except
// sigMalloc_32f, which returns the block, and sigFree, which returns nothing.
// Pointers are checked before counts, and a count of 0 is an error.
#pragma once

#include <cstdint>

static_assert(sizeof(int) == 4, "statuses and counts are signed 32-bit values");

// ---------------------------------------------------------------- statuses

enum sigStatus : int {
    sigOk = 0,
    sigWarnMisaligned = 2,   // done, but a buffer was not 16-byte aligned
    sigWarnSqrtNegative = 3, // done; negative inputs gave NaN
    sigWarnDivByZero = 6,    // done; zero divisors gave infinities or NaN
    sigWarnLnZero = 7,       // done; a zero input gave minus infinity
    sigWarnLnNegative = 8,   // done; a negative input gave NaN
    sigWarnDomain = 19,      // done; some elements lay at a singularity or outside the domain
    sigWarnCpuVendor = 20,   // level set, but CPUID is missing or the vendor is not recognised

    sigErrLength = -6,
    sigErrNullPtr = -8,
    sigErrNoMemory = -9,
    sigErrDivByZero = -10,
    sigErrFftOrder = -15,
    sigErrFftFlag = -16,
    sigErrStateMismatch = -17,
    sigErrIirOrder = -25,
    sigErrFirLength = -26,
    sigErrMrPhase = -28,
    sigErrMrFactor = -29,
    sigErrSamplePhase = -30,
    sigErrSampleFactor = -31,
    sigErrChannelCount = -53,
};

// ---------------------------------------------------------------- allocator

// A 32-byte aligned block of len floats from the library allocator, or null.
float* sigMalloc_32f(int len);
// Releases a block from sigMalloc_32f (or the library's byte allocator); null is ignored.
void sigFree(void* ptr);

// ---------------------------------------------------------------- fill, zero, copy

int sigZero_32f(float* dst, int len);
int sigCopy_32f(const float* src, float* dst, int len);
int sigSet_32f(float val, float* dst, int len);

// ---------------------------------------------------------------- sample conversions
//
// Packed 24-bit samples are 3 bytes each, little-endian two's complement.
// Scale factor n multiplies by 2^-n; round mode 0 truncates, 1 rounds to nearest
// with ties to even, any other value rounds to nearest with ties away from zero.

int sigConvertScaled_32f16s(const float* src, std::int16_t* dst, int len, int roundMode,
                            int scaleFactor);
int sigConvertScaled_32f32s(const float* src, std::int32_t* dst, int len, int roundMode,
                            int scaleFactor);
int sigConvertScaled_32f24s(const float* src, unsigned char* dst, int len, int scaleFactor);

int sigConvertScaled_16s32f(const std::int16_t* src, float* dst, int len, int scaleFactor);
int sigConvertScaled_32s32f(const std::int32_t* src, float* dst, int len, int scaleFactor);
int sigConvert_24s32f(const unsigned char* src, float* dst, int len);
int sigConvert_32s32f(const std::int32_t* src, float* dst, int len);

// ---------------------------------------------------------------- arithmetic with a constant

int sigAddInPlace_32f(const float* src, float* srcDst, int len);
int sigAddConstInPlace_32f(float val, float* srcDst, int len);
int sigMulConstInPlace_32f(float val, float* srcDst, int len);
int sigMulConst_32f(const float* src, float val, float* dst, int len);
int sigDivConstInPlace_32f(float val, float* srcDst, int len);

// ---------------------------------------------------------------- interleave

int sigInterleave_32f(const float* const* srcPlanes, int nChannels, int len, float* dst);
int sigDeinterleave_32f(const float* src, int nChannels, int len, float* const* dstPlanes);

// ---------------------------------------------------------------- FIR and IIR filters
//
// A filter state lives either in a caller's buffer, sized by the state's size
// query (the state starts at the buffer rounded up to 16 bytes, and the
// caller keeps the buffer in place while it uses the state), or in a block of
// the library allocator made by an InitAlloc operation and released by the
// matching free. Filtering consumes all of its input and leaves the state
// ready for the next block; source and destination must not overlap, except
// that an IIR filter may run in place.

struct sigIirState;

// IIR of order N from b0..bN, a0..aN (2·N + 2 floats), normalised by a0;
// dlyLine, when given, holds the N state words of the transposed direct form.
int sigIirInitAlloc_32f(sigIirState** pState, const float* taps, int order, const float* dlyLine);
int sigIirFree_32f(sigIirState* state);
int sigIirProcess_32f(const float* src, float* dst, int len, sigIirState* state);
