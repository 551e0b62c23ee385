// The real-FFT operations without entry points, by the processor slot whose
// members they are: what a slot's FIR filters call for their overlap path. A
// record tells its slot (`slot` in its header), so whoever holds a record
// transforms it with the operations that can read it.
#pragma once

#include "sigproc/fft/record_layout.h"

struct sigFftRealOps {
    int (*getSize)(int order, int flag, int hint, int* pSpecBytes, int* pInitBytes,
                   int* pWorkBytes);
    int (*init)(sigFftSpec_R_32f** pSpec, int order, int flag, int hint, unsigned char* specBuf,
                unsigned char* initBuf);
    int (*initAlloc)(sigFftSpec_R_32f** pSpec, int order, int flag, int hint);
    int (*forward)(const float* src, float* dst, const sigFftSpec_R_32f* spec,
                   unsigned char* workBuf);
    int (*inverse)(const float* src, float* dst, const sigFftSpec_R_32f* spec,
                   unsigned char* workBuf);
    int (*mulPackInPlace)(const float* src, float* srcDst, int len);
};

// Slot 0 is the generic member set; a slot outside 0..5 reads as 0.
const sigFftRealOps& sigFftRealOpsOf(int slot);

inline const sigFftRealOps& sigFftRealOpsOf(const sigFftSpec_R_32f& spec) {
    return sigFftRealOpsOf(spec.slot);
}
