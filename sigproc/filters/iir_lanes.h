// The side-by-side IIR loop, built once per vector instruction set.
//
// A run of channels that share a kernel is filtered in groups of eight, four
// and two lanes, a channel left over alone. A lane repeats the one-channel
// kernel's arithmetic in its order (no fused multiply-add), so every build
// gives each channel the bits it gets alone; the wider builds only hold a
// group of eight doubles in fewer registers.
#pragma once

#include "sigproc/core/wide_isa.h"

struct sigIirState;

// Filters count channels (all of one order between 2 and 4, direct form).
using sigIirLaneRun = void(const float* const* src, float* const* dst, int len,
                           sigIirState* const* states, int count);
extern const sigWideVariants<sigIirLaneRun> sigIirLaneRuns;
