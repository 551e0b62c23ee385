// A square root by a 33-entry table of sqrt(1 + k/32), interpolated linearly
// within each of the 32 mantissa segments: within 4e-5 of the true root. The
// exponent is halved (rounding down) and an odd exponent multiplies the
// result by sqrt(2). 0, negative and NaN arguments give 0; +inf gives +inf.
#pragma once

float FastSqrt(float x);
