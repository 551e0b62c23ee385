// The largest and smallest element scans, built once per vector instruction
// set.
//
// The scalar definition walks the array once: an element replaces the
// running value only when it compares strictly above (below) it, so a NaN
// never replaces it and among equal values the first stays, which tells -0.0
// from +0.0. The lanes each run that walk over their share of the elements
// from the first element on, and the winner is taken from their values; equal
// values differ in bits only for the two zeros, and that case is settled by
// the first zero of the array, as the walk would settle it.
#pragma once

#include "sigproc/core/wide_isa.h"

// The scan's result for src[0..len), len at least 1.
using sigExtremeScan = float(const float* src, int len);
extern const sigWideVariants<sigExtremeScan> sigMaxScans;
extern const sigWideVariants<sigExtremeScan> sigMinScans;
