// The complex FFT of up to 1024 values on bit-reversed input, in place:
// decimation in time with 4-point transforms, at most one radix-2 stage, and
// radix-4 stages whose twiddles come from a table of groups (W^j, W^2j, W^3j)
// built for the transform's own length. The inverse uses the conjugate
// twiddles and is unnormalised.
#pragma once

// data: 2^q complex values as (re, im) pairs, 3 <= q <= 10.
void sigFftPassesFwd_32fc(float* data, int q, const float* twiddles);
void sigFftPassesInv_32fc(float* data, int q, const float* twiddles);
