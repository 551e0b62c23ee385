// Complex transforms of more than 1024 values, built from pieces of at most
// 1024 values so that each piece works in a small, cache-resident block.
//
// 2^11 and 2^12 values: 1024-point pieces joined by merge passes with the
// specification's rotation table. From 2^13 on: a split into B = 2^a rows of
// R values (block order a from sigFftSplitOrder); the rows are transformed
// (split again when their own order has a block order), then each column is
// multiplied by the level's inter-block matrix and transformed in the work
// area, four columns at a time.
#pragma once

#include "sigproc/fft/spec_record.h"

// Bit reversal of all 2^m values (in place when src equals dst), then the
// complex transform, with the rows scaled when the direction's flag asks for
// it. work holds 32 * B bytes of the widest split, 32-byte aligned.
void sigFftBlockedFwd_32fc(const sigFftSpec_R_32f& spec, const float* src, float* dst, int m,
                           float* work);
void sigFftBlockedInv_32fc(const sigFftSpec_R_32f& spec, const float* src, float* dst, int m,
                           float* work);
