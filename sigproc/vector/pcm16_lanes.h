// The 16-bit PCM conversion loops, built once per vector instruction set.
//
// Float to 16-bit works in single precision: with the multiplier 2^-n a normal
// float, the scaled value is exact wherever it can reach the 16-bit range (a
// product that overflows saturates, one that underflows rounds to 0 in every
// mode, as the exact value would), and so is its distance to the truncated
// integer, so every mode rounds exactly and never by the caller's rounding
// mode. 16-bit to float multiplies a sample exactly by a power of two.
#pragma once

#include "sigproc/core/wide_isa.h"

#include <cstdint>

// Multipliers the 16-bit loops take: 2^-n for n in this range is a normal float.
inline constexpr int sigPcm16MinFactor = -127;
inline constexpr int sigPcm16MaxFactor = 126;

// The loops return sigOk, so that a member can end in a jump to them.

// dst[i] = src[i]·multiplier saturated to 16 bits, a NaN giving 0.
using sigTo16sLoop = int(const float* src, std::int16_t* dst, int len, float multiplier);
extern const sigWideVariants<sigTo16sLoop> sigTo16sTowardZero;  // truncates
extern const sigWideVariants<sigTo16sLoop> sigTo16sNearestEven; // ties to even
extern const sigWideVariants<sigTo16sLoop> sigTo16sNearestAway; // ties away from zero

// dst[i] = float(src[i])·multiplier.
using sigFrom16sLoop = int(const std::int16_t* src, float* dst, int len, float multiplier);
extern const sigWideVariants<sigFrom16sLoop> sigFrom16sScaled;
