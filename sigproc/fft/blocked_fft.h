// Complex transforms on the tables of a specification record, shared by the
// real and the complex FFT.
//
// Up to 1024 values: one piece, the passes with the record's twiddles.
// 2^11 and 2^12 values: 1024-point pieces joined by merge passes with the
// record's rotation table. From 2^13 on: a split into B = 2^a rows of R values
// (block order a from sigFftSplitOrder); the rows are transformed (split again
// when their own order has a block order), then each column is multiplied by
// the level's inter-block matrix and transformed: eight columns at a time in
// planes on the stack up to 256 rows (column_sweep.h), four at a time in the
// work area beyond.
#pragma once

#include "sigproc/fft/record_layout.h"

// Bit reversal of all 2^m values (m >= 3; in place when src equals dst), then
// the complex transform, with every piece scaled when the direction's flag
// asks for it. work holds 32 * B bytes of the widest split, 32-byte aligned;
// transforms without a split never touch it.
void sigFftBlockedFwd_32fc(const sigFftSpecHeader& spec, const float* src, float* dst, int m,
                           float* work);
void sigFftBlockedInv_32fc(const sigFftSpecHeader& spec, const float* src, float* dst, int m,
                           float* work);
