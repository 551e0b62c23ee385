// The head-related filter tables of the 3D speaker virtualizer: per sample
// rate (44100 and 48000 Hz) eight rows in plane order (front left, front
// right, front centre, low frequency, back left, back right, side left, side
// right). A row holds its direction in degrees as a magnitude, a reserved
// 0, the delay in samples of the ear away from a source on the right, the
// delay of the other ear (0), then 25 Q15 taps of the far-ear filter and 25 of
// the facing-ear filter. Rows come in identical pairs.
//
// The tables are generated once, on first use, by the rule in
// hrtf_tables.cpp; the lookups below never allocate.
#pragma once

#include <array>
#include <cstdint>

inline constexpr int HrtfTaps = 25;
inline constexpr int HrtfRows = 8;
inline constexpr int HrtfRowDirection = 0;
inline constexpr int HrtfRowFarDelay = 2;
inline constexpr int HrtfRowFacingDelay = 3;
inline constexpr int HrtfRowFarTaps = 4;
inline constexpr int HrtfRowFacingTaps = HrtfRowFarTaps + HrtfTaps;
inline constexpr int HrtfRowLength = HrtfRowFacingTaps + HrtfTaps;

using HrtfRow = std::array<std::int16_t, HrtfRowLength>;
using HrtfTable = std::array<HrtfRow, HrtfRows>;
// One ear's filter: 25 Q15 taps followed by the delay in samples.
using HrtfPair = std::array<std::int16_t, HrtfTaps + 1>;

// The table of 44100 or 48000 Hz; null for any other rate.
const HrtfTable* HrtfTableForRate(int rate);

// The direction grid: elevation to the nearest multiple of 6; at +-90 the
// azimuth becomes 0, otherwise it goes to the nearest multiple of 12 beyond
// +-60 degrees of elevation, of 6 beyond +-30, else of 3, and an azimuth
// below -177 gets 360 added. Azimuth is clamped to +-180 and elevation to
// +-90 first; a NaN counts as 0.
void QuantizeDirection(float azimuth, float elevation, int* quantAzimuth, int* quantElevation);

// The left- and right-ear filters of a row for a direction: a source on the
// right or centre (quantised azimuth >= 0) gives the far-ear filter to the
// left ear, a source on the left the mirror image. False, and nothing
// written, for a row above 7, a rate other than 44100 or 48000, non-finite
// angles or null outputs.
bool LookupHrtfPair(int row, int rate, float azimuth, float elevation, HrtfPair* left,
                    HrtfPair* right);
