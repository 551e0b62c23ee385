// Tables of the vector power function. They are generated when the library is
// built (pow_tables_gen.cpp), from these rules, with Cr = 6051101 / 2^22, 1/ln 2
// cut down to a multiple of 2^-22:
//
//   T1[i], i = 0..32    1/(1 + i/32), nearest multiple of 2^-15.
//   T2[i], i = 0..32    1/(1 + i/512) for i <= 14, 1/(1 - (32 - i)/1024) from 15 on,
//                       nearest multiple of 2^-15, except that entries 15, 17, 19,
//                       20, 22, 23, 26, 27 and 28 take the neighbouring multiple on
//                       the other side of the ideal value.
//   T3[i], i = 0..128   Cr/(1 + i/32768) for i <= 60, Cr/(1 - (128 - i)/65536) from
//                       61 on, nearest multiple of 2^-22.
//   L1[i]               -log2 T1[i], less 1 from i = 16 on.
//   L2[i]               -log2 T2[i].
//   L3[i]               log2 Cr - log2 T3[i].
//   E[j], j = 0..127    2^(j/128).
//
// The logarithms are taken of the stored T values, so that they match the
// products the power function actually forms. A logarithm v is held as hi = v
// truncated toward zero to a multiple of 2^-42 and lo = v - hi rounded to the
// nearest double, so that sums of hi parts with the integer exponent stay
// exact. E[j] is held as hi = 2^(j/128) rounded to the nearest double and
// lo = 2^(j/128) - hi truncated toward zero to a double.
#pragma once

struct sigPowPair {
    double hi;
    double lo;
};

inline constexpr int sigPowT1Size = 33;
inline constexpr int sigPowT2Size = 33;
inline constexpr int sigPowT3Size = 129;
inline constexpr int sigPowESize = 128;

extern const double sigPowT1[sigPowT1Size];
extern const double sigPowT2[sigPowT2Size];
extern const double sigPowT3[sigPowT3Size];
extern const sigPowPair sigPowL1[sigPowT1Size];
extern const sigPowPair sigPowL2[sigPowT2Size];
extern const sigPowPair sigPowL3[sigPowT3Size];
extern const sigPowPair sigPowE[sigPowESize];

// Cr as a numerator over 2^22.
inline constexpr long long sigPowCrNumerator = 6051101;
