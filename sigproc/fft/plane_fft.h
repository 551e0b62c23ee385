// Real transforms of 32 to 1024 points through a working copy in split
// planes, for speed. They run the same stages, butterflies and arithmetic as
// the in-place passes and give the same bits; only where values are kept
// between stages differs.
//
// The working copy (2^order floats on the stack) holds a plane of real parts
// and a plane of imaginary parts. After the bit reversal, element a of every
// group of four consecutive values comes from quarter rev2(a) of the array, so
// "unit" t (four consecutive floats of a plane) holds position t of each
// quarter. Every stage whose blocks lie within a quarter then works on whole
// units, lane by lane, with one twiddle for all four lanes; only the last
// stage combines the lanes.
#pragma once

#include "sigproc/fft/record_layout.h"

inline constexpr int sigFftPlaneMinOrder = 5;
inline constexpr int sigFftPlaneMaxOrder = 10;

// src and dst may be the same array. Scaling follows the record's scaling words.
void sigFftPlaneFwd_R_32f(const float* src, float* dst, const sigFftSpec_R_32f& spec);
void sigFftPlaneInv_R_32f(const float* src, float* dst, const sigFftSpec_R_32f& spec);
