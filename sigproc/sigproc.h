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

// ---------------------------------------------------------------- vector power

// dst[i] = src1[i] ^ src2[i], each result formed in double precision and
// rounded to single once. Unlike every other operation, the length is checked
// before the pointers. A zero base with a negative exponent, or a negative
// base with a finite non-integer exponent, gives its special value (an
// infinity, or the NaN 0xFFC00000) and makes the status sigWarnDomain; the
// other elements are still computed. Overflow and underflow give infinities
// and zeros with no status. The work runs in round-to-nearest whatever the
// caller's mode; the caller's control settings are restored on return.
int sigPow_32f(const float* src1, const float* src2, float* dst, int len);

// ---------------------------------------------------------------- up- and down-sampling
//
// Both keep a phase in the caller's word so that a stream processed block by
// block gives the same output as one call over the whole stream. Checks:
// pointers, then srcLen (sigErrLength), then factor (sigErrSampleFactor), then
// 0 <= *phase < factor (sigErrSamplePhase).

// src[k] goes to dst[k * factor + *phase], every other output is +0.0;
// *dstLen = srcLen * factor, refused with sigErrLength when that does not fit
// in 32 bits. The phase is only read.
int sigSampleUp_32f(const float* src, int srcLen, float* dst, int* dstLen, int factor, int* phase);
// Takes src[*phase], src[*phase + factor], ... below srcLen; *dstLen = samples
// taken, *phase = offset of the next sample to take in the following block.
int sigSampleDown_32f(const float* src, int srcLen, float* dst, int* dstLen, int factor,
                      int* phase);

// ---------------------------------------------------------------- element-wise operations

int sigAbsInPlace_32f(float* srcDst, int len);
// The first element wins among equals; a NaN after the first element is passed over.
int sigMax_32f(const float* src, int len, float* max);
int sigMin_32f(const float* src, int len, float* min);
int sigMulInPlace_32f(const float* src, float* srcDst, int len);
// dst[len - 1 - i] = src[i], bit for bit.
int sigFlip_32f(const float* src, float* dst, int len);
int sigAdd_32f(const float* src1, const float* src2, float* dst, int len);
// dst[i] = src2[i] - src1[i]: the first vector is subtracted from the second.
int sigSub_32f(const float* src1, const float* src2, float* dst, int len);
// srcDst[i] += src[i] * val, the product not rounded before the sum.
int sigAddProductConst_32f(const float* src, float val, float* srcDst, int len);

// ---------------------------------------------------------------- processor services
//
// Identification of the processor by CPUID, and the floating-point control
// registers. Nothing in the library calls them; in particular the dispatch
// level stays 0 unless a host calls sigCpuInitLevel.

// Processor information, twenty 32-bit words; flags are 0 or 1.
struct sigCpuInfo {
    std::int32_t family;        // leaf-1 signature bits 8..11
    std::int32_t stepping;      // bits 0..3
    std::int32_t model;         // bits 4..7, without the extended model
    std::int32_t processorType; // bits 12..13
    std::int32_t featureEdx;    // leaf-1 EDX
    std::int32_t leaf2Eax;
    std::int32_t leaf2Edx;
    std::int32_t hasMmx;
    std::int32_t untouched; // left as the caller set it
    std::int32_t hasSse;
    std::int32_t hasSse2;
    std::int32_t isMultiThreaded;
    std::int32_t hasSse3;
    std::int32_t hasLongMode;
    std::int32_t hasSsse3;
    std::int32_t coresPerPackage;
    std::int32_t hasSse41;
    std::int32_t hasSse42;
    std::int32_t extendedFamily; // bits 20..27
    std::int32_t extendedModel;  // bits 16..19
};
static_assert(sizeof(sigCpuInfo) == 80, "twenty 32-bit words");

// Sets the dispatch level from the processor type; sigOk, or sigWarnCpuVendor
// (the level is set all the same) without CPUID or on a processor that is not
// "GenuineIntel".
int sigCpuInitLevel();
int sigCpuGetType(); // processor type code, 0 when unidentified
int sigCpuHasCpuid();
std::uint32_t sigCpuMaxLeaf();
int sigCpuHasTsc();
int sigCpuHasMmx();
int sigCpuHasSse();
int sigCpuHasSse2();
int sigCpuHasSse3();
int sigCpuHasSsse3();
int sigCpuHasSse41();
int sigCpuHasSse42();
int sigCpuIsMultiThreaded();
int sigCpuCoresPerPackage();
int sigCpuHasLongMode();
int sigCpuIsGenuineIntel();
int sigCpuHasDaz();
// Fills the record; returns leaf-2 EAX, or sigErrNullPtr for a null record.
int sigCpuGetInfo(sigCpuInfo* info);
std::uint64_t sigCpuReadTsc();
// table: (descriptor, size) pairs ending with a zero descriptor. The size of
// the first row whose descriptor byte CPUID leaf 2 reports, or -1.
int sigCpuCacheSizeByTable(const std::int32_t* table);
// out[0..3] = EAX, EBX, ECX, EDX of that CPUID query.
int sigCpuid(std::uint32_t* out, std::uint32_t leaf, std::uint32_t subleaf);

// MXCSR governs all float and double arithmetic here. Setters return the old value.
std::uint32_t sigFpGetMxcsr();
std::uint32_t sigFpResetMxcsr(); // 0x1F80: all exceptions masked, round to nearest
std::uint32_t sigFpSetMxcsr(std::uint32_t value, std::uint32_t mask);
// Loads (MXCSR & ~0x6000) | rc: rc holds the rounding field in bits 13..14 and
// may carry other bits to set with it, such as flush-to-zero (0x8000).
std::uint32_t sigFpSetMxcsrRounding(std::uint32_t rc);
void sigFpRestoreMxcsr(std::uint32_t value);

// The x87 control and status words govern only x87 instructions and long
// double arithmetic on this platform.
std::uint32_t sigFpGetX87Control();
std::uint32_t sigFpGetX87Status();
std::uint32_t sigFpSetX87Control(std::uint32_t value, std::uint32_t mask);
// Loads (old & ~mask) | value only when (old & mask) differs from value.
std::uint32_t sigFpSetX87ControlBits(std::uint32_t value, std::uint32_t mask);
std::uint32_t sigFpClearX87Status(); // returns the status word, then clears its exceptions
void sigFpRestoreX87Control(std::uint32_t value);

// The portable x87 control word of sigFpControl; the status flags of sigFpStatus
// use the same six exception bits.
enum sigFpPortableBits : std::uint32_t {
    sigFpInexact = 0x01,
    sigFpUnderflow = 0x02,
    sigFpOverflow = 0x04,
    sigFpZeroDivide = 0x08,
    sigFpInvalid = 0x10,
    sigFpDenormal = 0x80000,
    sigFpRoundMask = 0x300,
    sigFpRoundNearest = 0x000,
    sigFpRoundDown = 0x100,
    sigFpRoundUp = 0x200,
    sigFpRoundTowardZero = 0x300,
    sigFpPrecisionMask = 0x30000,
    sigFpPrecision64 = 0x00000,
    sigFpPrecision53 = 0x10000,
    sigFpPrecision24 = 0x20000,
    sigFpInfinityAffine = 0x40000,
};
// Loads (value & mask) | (current & ~mask) and returns that portable word.
std::uint32_t sigFpControl(std::uint32_t value, std::uint32_t mask);
std::uint32_t sigFpStatus();
std::uint32_t sigFpClearStatus(); // returns the flags, then clears them

int sigIsNan_64f(double value);
int sigIsFinite_64f(double value);

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
// Bytes of the work buffer the transforms of this specification use: the work
// area plus 32, since a buffer is used from its first 32-byte boundary; 0 when
// they need none. sigErrNullPtr for a null pointer, sigErrStateMismatch when
// the record is not a live real-FFT specification.
int sigFftGetBufSize_R_32f(const sigFftSpec_R_32f* spec, int* pSize);
// workBuf: a buffer of the size above, or null, in which case a transform that
// needs a work area allocates one for the call (a caller that must not
// allocate on its signal path passes a buffer).
int sigFftFwdInPlace_R_32f(float* srcDst, const sigFftSpec_R_32f* spec, unsigned char* workBuf);
int sigFftInvInPlace_R_32f(float* srcDst, const sigFftSpec_R_32f* spec, unsigned char* workBuf);
// dst = src1 * src2, bin by bin, on packed spectra of len floats.
int sigMulPack_32f(const float* src1, const float* src2, float* dst, int len);

// ---------------------------------------------------------------- FIR and IIR filters
//
// A filter state lives either in a caller's buffer, sized by the state's size
// query (the state starts at the buffer rounded up to 16 bytes, and the
// caller keeps the buffer in place while it uses the state), or in a block of
// the library allocator made by an InitAlloc operation and released by the
// matching free. Filtering consumes all of its input and leaves the state
// ready for the next block; source and destination must not overlap, except
// that an IIR filter may run in place.

struct sigFirState;
struct sigIirState;

// Single-rate FIR. taps are in their own order (taps[0] weighs the newest
// sample); dlyLine, when given, holds tapsLen past inputs, newest first.
int sigFirGetStateSize_32f(int tapsLen, int* pSize);
int sigFirInit_32f(sigFirState** pState, const float* taps, int tapsLen, const float* dlyLine,
                   unsigned char* buffer);
int sigFirInitAlloc_32f(sigFirState** pState, const float* taps, int tapsLen, const float* dlyLine);
int sigFirFree_32f(sigFirState* state);

// Multi-rate FIR: up-sampling by `up` (input i at position i·up + upPhase),
// filtering, down-sampling by `down` (output o at position o·down + downPhase),
// in one pass; each iteration of sigFirProcess_32f consumes `down` inputs and
// writes `up` outputs. dlyLine, when given, holds ceil(tapsLen / up) past
// inputs, newest first. Both factors 1 make a single-rate state.
int sigFirMrGetStateSize_32f(int tapsLen, int up, int down, int* pSize);
int sigFirMrInit_32f(sigFirState** pState, const float* taps, int tapsLen, int up, int upPhase,
                     int down, int downPhase, const float* dlyLine, unsigned char* buffer);

// Single-rate states: numIters samples in and out. Multi-rate states:
// numIters·down samples in, numIters·up out.
int sigFirProcess_32f(const float* src, float* dst, int numIters, sigFirState* pState);

// One sample through a FIR whose delay line (2·tapsLen floats) and index the
// caller holds; a zeroed line and index 0 are the filter at rest.
int sigFirOneSample_32f(float src, float* pDstVal, const float* taps, int tapsLen, float* dlyLine,
                        int* pDlyLineIndex);

// IIR of order N from b0..bN, a0..aN (2·N + 2 floats), normalised by a0;
// dlyLine, when given, holds the N state words of the transposed direct form.
int sigIirInitAlloc_32f(sigIirState** pState, const float* taps, int order, const float* dlyLine);
int sigIirFree_32f(sigIirState* state);
int sigIirProcess_32f(const float* src, float* dst, int len, sigIirState* state);
// count channels at once, channel c from src[c] through states[c] to dst[c]:
// each gets the bits sigIirProcess_32f gives it alone. A channel may run in
// place; the channels' buffers must not overlap one another. Every pointer
// and state is checked before any channel is filtered.
int sigIirProcessChannels_32f(const float* const* src, float* const* dst, int len,
                              sigIirState* const* states, int count);
