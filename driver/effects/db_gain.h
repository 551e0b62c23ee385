// Decibels to linear gain by a small table: GainFromDb(10, dB / 20) is the
// gain of a level in dB, to within 0.05 dB (the table steps 0.1 dB).
//
// Base 10: the integer part of the exponent is a power of ten formed by
// repeated multiplication, the fraction comes from a 201-entry table of
// 10^(k/200). Base 2: the integer part is exact, the fraction comes from a
// table of 2^(k/200). Every other base gives 0. The sum is formed in double and
// returned as a float (at most the largest float). A NaN exponent gives 0; the
// exponent is clamped to +-39.
#pragma once

float GainFromDb(float base, float x);
