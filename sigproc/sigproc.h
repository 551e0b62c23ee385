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

// ---------------------------------------------------------------- real FFT
//
// A transform of N = 2^order reals runs from a specification record built
// once with all its tables. The packed spectrum holds N floats: the DC bin,
// the Nyquist bin, then (re, im) of bins 1 .. N/2-1. The forward transform
// uses the negative exponent; the inverse is unnormalised unless the
// specification's flag scales it.

struct sigFftSpec_R_32f;

enum sigFftFlag : int {
    sigFftScaleFwd = 1,      // forward multiplied by 1/N
    sigFftScaleInv = 2,      // inverse multiplied by 1/N
    sigFftScaleBothSqrt = 4, // both multiplied by 1/sqrt(N)
    sigFftScaleNone = 8,     // neither scaled
};

// Allocates and builds a specification; *pSpec is written only on success.
int sigFftInitAlloc_R_32f(sigFftSpec_R_32f** pSpec, int order, int flag, int hint);
// Invalidates a specification and releases it when the library allocated it.
int sigFftFree_R_32f(sigFftSpec_R_32f* spec);
// workBuf may be null: a transform that needs a work area then allocates one for the call.
int sigFftFwdInPlace_R_32f(float* srcDst, const sigFftSpec_R_32f* spec, unsigned char* workBuf);
int sigFftInvInPlace_R_32f(float* srcDst, const sigFftSpec_R_32f* spec, unsigned char* workBuf);
// dst = src1 * src2, bin by bin, on packed spectra of len floats.
int sigMulPack_32f(const float* src1, const float* src2, float* dst, int len);
