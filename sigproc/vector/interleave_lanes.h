// Moves between planes and interleaved frames for the channel counts streams
// use most (2, 4 and 8), built once per vector instruction set. Words move
// bit for bit, channel after channel and frame after frame as the general
// loops move them, so even arrays that overlap end as they would; a build
// only changes how many words move per instruction.
#pragma once

#include "sigproc/core/wide_isa.h"

#include <cstdint>

// Whether these loops take this channel count.
bool sigFrameMovesTake(int nChannels);

// frames[k·n + c] = planes[c][k] for k < len, c < n.
using sigInterleaveRun = void(const float* const* planes, int nChannels, int len, float* frames);
// planes[c][k] = frames[k·n + c].
using sigDeinterleaveRun = void(const float* frames, int nChannels, int len, float* const* planes);
extern const sigWideVariants<sigInterleaveRun> sigInterleaveRuns;
extern const sigWideVariants<sigDeinterleaveRun> sigDeinterleaveRuns;
