// The coefficient tables of the sample-rate stages: a symmetric low-pass for
// the factor-2 and the factor-4 stage, and the polyphase rows of the rational
// stage in both directions (160:147 up, 147:160 down). Row p of a rational
// table is phase p of its prototype; tap 0 weighs the newest input.
//
// The tables are generated once, on first use, by the rule in
// src_coefficients.cpp; the stages fetch them when they are created, so
// nothing is computed on the packet path.
#pragma once

#include <array>

inline constexpr int Src2xTaps = 66;
inline constexpr int Src4xTaps = 132;
inline constexpr int SrcFirUpPhases = 160;
inline constexpr int SrcFirUpTaps = 20;
inline constexpr int SrcFirDownPhases = 147;
inline constexpr int SrcFirDownTaps = 24;

using Src2xTable = std::array<float, Src2xTaps>;
using Src4xTable = std::array<float, Src4xTaps>;
using SrcFirUpTable = std::array<std::array<float, SrcFirUpTaps>, SrcFirUpPhases>;
using SrcFirDownTable = std::array<std::array<float, SrcFirDownTaps>, SrcFirDownPhases>;

const Src2xTable& Src2xCoefficients();
const Src4xTable& Src4xCoefficients();
const SrcFirUpTable& SrcFirUpCoefficients();
const SrcFirDownTable& SrcFirDownCoefficients();
