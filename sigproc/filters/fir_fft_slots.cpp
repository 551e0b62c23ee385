// The single-rate FIR set-up members of slots 1 to 5. Their states are the
// generic ones except for the overlap path's FFT record, which the slot's
// real-FFT members build; processing, in any slot, then transforms with the
// members of the record's slot.
#include "sigproc/filters/fir.h"

#define SIG_FIR_SLOT_DEFINE(suffix, slot, isa)                                                     \
    __attribute__((target(isa))) int sigFirGetStateSize_32f_##suffix(int tapsLen, int* pSize) {    \
        return sigFirGetStateSizeFor_32f(tapsLen, pSize, slot);                                    \
    }                                                                                              \
    __attribute__((target(isa))) int sigFirInit_32f_##suffix(                                      \
        sigFirState** pState, const float* taps, int tapsLen, const float* dlyLine,                \
        unsigned char* buffer) {                                                                   \
        return sigFirInitFor_32f(pState, taps, tapsLen, dlyLine, buffer, slot);                    \
    }                                                                                              \
    __attribute__((target(isa))) int sigFirInitAlloc_32f_##suffix(                                 \
        sigFirState** pState, const float* taps, int tapsLen, const float* dlyLine) {              \
        return sigFirInitAllocFor_32f(pState, taps, tapsLen, dlyLine, slot);                       \
    }

SIG_FIR_SLOT_DEFINE(sse, 1, "sse")
SIG_FIR_SLOT_DEFINE(sse2, 2, "sse2")
SIG_FIR_SLOT_DEFINE(sse3, 3, "sse3")
SIG_FIR_SLOT_DEFINE(ssse3, 4, "ssse3")
SIG_FIR_SLOT_DEFINE(sse41, 5, "sse4.1")

#undef SIG_FIR_SLOT_DEFINE
