// The real-FFT members of slots 1 to 5 as the tests reach them: by the slot's
// own functions, and records owned for the life of a test.
#pragma once

#include "sigproc/fft/real_fft.h"
#include "sigproc/fft/simd_fft.h"
#include "sigproc/sigproc.h"

#include <gtest/gtest.h>

namespace fftsimd {

using Transform = int (*)(const float*, float*, const sigFftSpec_R_32f*, unsigned char*);
using InitAlloc = int (*)(sigFftSpec_R_32f**, int, int, int);
using SizeQuery = int (*)(int, int, int, int*, int*, int*);
using Init = int (*)(sigFftSpec_R_32f**, int, int, int, unsigned char*, unsigned char*);

struct SlotMembers {
    int slot;
    const char* name;
    InitAlloc initAlloc;
    Transform forward;
    Transform inverse;
    int (*mulPack)(const float*, float*, int);
    SizeQuery getSize;
    Init init;
    int blockedFromOrder; // the first order of the large-order decomposition
};

inline constexpr SlotMembers kSlots[] = {
    {1, "sse", sigFftInitAlloc_R_32f_sse, sigFftFwd_R_32f_sse, sigFftInv_R_32f_sse,
     sigMulPackInPlace_32f_sse, sigFftGetSize_R_32f_sse, sigFftInit_R_32f_sse, 12},
    {2, "sse2", sigFftInitAlloc_R_32f_sse2, sigFftFwd_R_32f_sse2, sigFftInv_R_32f_sse2,
     sigMulPackInPlace_32f_sse2, sigFftGetSize_R_32f_sse2, sigFftInit_R_32f_sse2, 17},
    {3, "sse3", sigFftInitAlloc_R_32f_sse3, sigFftFwd_R_32f_sse3, sigFftInv_R_32f_sse3,
     sigMulPackInPlace_32f_sse3, sigFftGetSize_R_32f_sse3, sigFftInit_R_32f_sse3, 18},
    {4, "ssse3", sigFftInitAlloc_R_32f_ssse3, sigFftFwd_R_32f_ssse3, sigFftInv_R_32f_ssse3,
     sigMulPackInPlace_32f_ssse3, sigFftGetSize_R_32f_ssse3, sigFftInit_R_32f_ssse3, 19},
    {5, "sse41", sigFftInitAlloc_R_32f_sse41, sigFftFwd_R_32f_sse41, sigFftInv_R_32f_sse41,
     sigMulPackInPlace_32f_sse41, sigFftGetSize_R_32f_sse41, sigFftInit_R_32f_sse41, 19},
};

// A record built by one slot's allocate body, freed at scope end.
class SlotRecord {
public:
    SlotRecord(const SlotMembers& members, int order, int flag) {
        status_ = members.initAlloc(&spec_, order, flag, 0);
    }
    ~SlotRecord() {
        if (status_ == sigOk) sigFftFree_R_32f(spec_);
    }
    SlotRecord(const SlotRecord&) = delete;
    SlotRecord& operator=(const SlotRecord&) = delete;
    int status() const { return status_; }
    const sigFftSpec_R_32f* get() const { return spec_; }

private:
    sigFftSpec_R_32f* spec_ = nullptr;
    int status_;
};

} // namespace fftsimd
