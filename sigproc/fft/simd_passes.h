// The in-cache complex transforms of the processor-specific real-FFT members
// and the bit reversal in front of their larger orders. n is a complex
// length 2^m; data is interleaved (re, im) pairs unless told otherwise.
//
// The slot's `twiddles` table starts with the 16-point twiddles of the first
// pass (three twiddles of four lanes, 24 floats); behind them, for every
// span S = 16, 64, 256, ... the table reaches, the radix-4 twiddles of the
// pass that turns sub-transforms of length S into length 4S (6 S floats). A
// final radix-2 pass of span S reads the middle twiddle of that section.
#pragma once

#include <cstddef>
#include <cstdint>

// Floats of the twiddle table that serves transforms up to 2^maxM values.
std::int64_t sigFftSimdTwiddleFloats(int maxM);
// Offset, in floats, of the radix-4 section of span S.
std::ptrdiff_t sigFftSimdSectionOf(std::ptrdiff_t span);

// Complete transform of n >= 8 values with the bit reversal fused into the
// first pass: bitRev holds, for every group s of 16 outputs, the bit
// reversal of s over m - 4 bits. Through the work area (8 n bytes) when src is
// dst. Passes up to length 1024 run per block of blockValues values (0: over
// the whole array).
void sigFftSimdDirectFwd_32fc(const float* src, float* dst, std::ptrdiff_t n, const float* twiddles,
                              const std::int32_t* bitRev, float* work, std::ptrdiff_t blockValues);
void sigFftSimdDirectInv_32fc(const float* src, float* dst, std::ptrdiff_t n, const float* twiddles,
                              const std::int32_t* bitRev, float* work, std::ptrdiff_t blockValues);

// All passes over n >= 16 values already in bit-reversed order, in place;
// the result interleaved, or left quad-planar for a later column stage.
void sigFftSimdPassesFwd_32fc(float* data, std::ptrdiff_t n, const float* twiddles,
                              bool interleaved, std::ptrdiff_t blockValues);
void sigFftSimdPassesInv_32fc(float* data, std::ptrdiff_t n, const float* twiddles,
                              bool interleaved, std::ptrdiff_t blockValues);

// Words of the bit-reversal table of a transform that reverses before its
// passes: from m = 12 on, one word per 64 x 64 tile (the first column of the
// partner tile) and then the pair list of order 12; below, the pair list of
// order m. A pair list is its pair count, then the pairs (i, j), i < j.
std::int64_t sigFftSimdBitRevWords(int m);
void sigFftSimdBuildBitRev(std::int32_t* table, int m);
// Words of the fused transform's table and the table itself.
std::int64_t sigFftSimdGroupRevWords(int m);
void sigFftSimdBuildGroupRev(std::int32_t* table, int m);

// The checked byte copy of the whole-array copies: sigErrNullPtr,
// sigErrLength for bytes <= 0, else the library's byte copy and sigOk.
int sigCopyBytesChecked_8u(const void* src, void* dst, std::int64_t bytes);

// Bit reversal of 2^m values by that table; the tiles pass through the work
// area (64 KB). Out of place src is left unchanged and must not overlap dst.
void sigFftSimdBitRevInPlace_32fc(float* data, int m, const std::int32_t* bitRev, float* work);
void sigFftSimdBitRevCopy_32fc(const float* src, float* dst, int m, const std::int32_t* bitRev,
                               float* work);

// The forward split after the complex transform of n >= 8 values (the DC and
// Nyquist terms, then the bin pairs, four at a time from both ends), and the
// inverse merge from the packed spectrum p into z (p may be z). The same
// arithmetic as the generic split and merge, so the same bits for the same input.
void sigFftSimdRealPostFwd_32f(float* z, std::ptrdiff_t n, const float* realSplit);
void sigFftSimdRealPreInv_32f(const float* p, float* z, std::ptrdiff_t n, const float* realRot);
