// The direct FIR path's inner loop, built once per vector instruction set.
//
// Every output is its own running sum in double: it starts at 0 and adds
// t[k]·w[i + k] for k = 0, 1, ..., each product formed in double from the
// widened floats, and is rounded once when stored. The builds differ only in
// how many outputs share a register and a pass over the taps; no lane's
// operations or their order change, so all give the same bits.
#pragma once

#include "sigproc/core/wide_isa.h"

#include <cstdint>

// y[i] = sum over k < tapsLen of t[k]·w[i + k], for i < count.
using sigFirDotRun = void(const float* t, int tapsLen, const float* w, float* y,
                          std::int64_t count);
extern const sigWideVariants<sigFirDotRun> sigFirDotRuns;
