// Transforms through a working copy in split planes, for speed: real
// transforms of 32 to 2048 points and complex transforms of 16 to 1024
// values. They run the same stages, butterflies and arithmetic as the
// in-place passes and give the same bits; only where values are kept between
// stages differs. Each is built for the baseline, AVX2 and AVX-512 and runs
// the widest build the machine has (core/wide_isa.h); every build gives the
// same bits.
//
// The working copy (on the stack) holds a plane of real parts and a plane of
// imaginary parts. After the bit reversal, element a of every group of four
// consecutive values comes from quarter rev2(a) of the array, so "unit" t
// (four consecutive floats of a plane) holds position t of each quarter.
// Every stage whose blocks lie within a quarter then works on whole units,
// lane by lane, with one twiddle for all four lanes; only the last stage
// combines the lanes.
#pragma once

#include "sigproc/core/wide_isa.h"
#include "sigproc/fft/record_layout.h"

#include <cstddef>
#include <cstdint>

inline constexpr int sigFftPlaneMinOrder = 5;
inline constexpr int sigFftPlaneMaxOrder = 11;
inline constexpr int sigFftPlaneMinComplexOrder = 4;
inline constexpr int sigFftPlaneMaxComplexOrder = sigFftPlaneMaxOrder - 1;

// Real transforms: src and dst may be the same array. Scaling follows the
// record's scaling words.
void sigFftPlaneFwd_R_32f(const float* src, float* dst, const sigFftSpec_R_32f& spec);
void sigFftPlaneInv_R_32f(const float* src, float* dst, const sigFftSpec_R_32f& spec);

// Complex transforms of 2^q values, unscaled, with the twiddles of a table
// built for 2^q values: from natural order into natural order (src may equal
// dst).
void sigFftPlaneFwd_32fc(const float* src, float* dst, int q, const float* twiddles);
// In place on values already in bit-reversed order: what sigFftPassesFwd_32fc
// and sigFftPassesInv_32fc compute, with the same bits.
void sigFftPlanePassesFwd_32fc(float* data, int q, const float* twiddles);
void sigFftPlanePassesInv_32fc(float* data, int q, const float* twiddles);

// A chunk of the blocked transform: the transform of 2^c values (c = 11 or
// 12) into dst, unscaled or times *scale. src null: dst holds the values in
// bit-reversed order; otherwise src holds them in natural order (src may
// equal dst). 1024-point pieces with the twiddles of a 1024-value
// table, each scaled, joined by merge passes with the record's rotation table
// for 2^c values (merge_pass_body.h): the bits of the bit reversal, the
// scalar passes on each piece, the scaling, then the scalar merge passes.
void sigFftPlaneChunkFwd_32fc(const float* src, float* dst, int c, const float* twiddles,
                              const float* rot, const float* scale);
void sigFftPlaneChunkInv_32fc(const float* src, float* dst, int c, const float* twiddles,
                              const float* rot, const float* scale);

// The passes of complex_passes.h (3 <= q <= 10) on sigFftColumnLanes columns
// of 2^q values at once, held side by side in two planes: re[L*j + t] is the
// real part of value j of column t (column_passes_body.h; the column sweep
// runs them). Each column gets the bits the scalar passes give it.
inline constexpr int sigFftColumnLanes = 8;

// The builds, for tests that run each one the machine has.
using sigFftPlaneRealFn = void(const float* src, float* dst, const sigFftSpec_R_32f& spec);
// From natural order, or (bitReversed) from values already in bit-reversed
// order; natural order out.
using sigFftPlaneComplexFn = void(const float* src, float* dst, int q, bool bitReversed,
                                  const float* twiddles);
using sigFftColumnPassesFn = void(float* re, float* im, int q, const float* twiddles);
using sigFftChunkFn = void(const float* src, float* dst, int c, const float* twiddles,
                           const float* rot, const float* scale);
struct sigFftPlaneBuild {
    sigFftPlaneRealFn* realForward;
    sigFftPlaneRealFn* realInverse;
    sigFftPlaneComplexFn* complexForward;
    sigFftPlaneComplexFn* complexInverse;
    sigFftChunkFn* chunkForward;
    sigFftChunkFn* chunkInverse;
    sigFftColumnPassesFn* columnsForward;
    sigFftColumnPassesFn* columnsInverse;
};
extern const sigWideVariants<const sigFftPlaneBuild> sigFftPlaneBuilds;
