// The set-up of the processor-specific real-FFT members: the sizes, layout
// and tables of a slot's specification record. The header is the generic
// one with the slot's number in `slot`; the tables are laid out for the
// slot's own transforms (simd_passes.h, simd_blocked.h).
#pragma once

#include "sigproc/fft/record_build.h"
#include "sigproc/fft/record_size.h"
#include "sigproc/fft/simd_slots.h"

// Sizes of a slot's record of an order (the size query's figures).
sigFftSizes sigFftSimdSizesOf(const sigFftSimdSlot& slot, int order);

// Builds a slot's record with the contract of sigFftBuildRecord.
int sigFftSimdBuildRecord(const sigFftSimdSlot& slot, sigFftSpecHeader*& record, int order,
                          int flag, int hint, unsigned char* specBuf, unsigned char* initBuf);
