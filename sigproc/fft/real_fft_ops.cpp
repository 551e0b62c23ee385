#include "sigproc/fft/real_fft_ops.h"

#include "sigproc/fft/real_fft.h"
#include "sigproc/fft/simd_fft.h"

namespace {

constexpr sigFftRealOps kOps[] = {
    {sigFftGetSize_R_32f, sigFftInit_R_32f, sigFftInitAlloc_R_32f_generic, sigFftFwd_R_32f,
     sigFftInv_R_32f, sigMulPackInPlace_32f},
    {sigFftGetSize_R_32f_sse, sigFftInit_R_32f_sse, sigFftInitAlloc_R_32f_sse, sigFftFwd_R_32f_sse,
     sigFftInv_R_32f_sse, sigMulPackInPlace_32f_sse},
    {sigFftGetSize_R_32f_sse2, sigFftInit_R_32f_sse2, sigFftInitAlloc_R_32f_sse2,
     sigFftFwd_R_32f_sse2, sigFftInv_R_32f_sse2, sigMulPackInPlace_32f_sse2},
    {sigFftGetSize_R_32f_sse3, sigFftInit_R_32f_sse3, sigFftInitAlloc_R_32f_sse3,
     sigFftFwd_R_32f_sse3, sigFftInv_R_32f_sse3, sigMulPackInPlace_32f_sse3},
    {sigFftGetSize_R_32f_ssse3, sigFftInit_R_32f_ssse3, sigFftInitAlloc_R_32f_ssse3,
     sigFftFwd_R_32f_ssse3, sigFftInv_R_32f_ssse3, sigMulPackInPlace_32f_ssse3},
    {sigFftGetSize_R_32f_sse41, sigFftInit_R_32f_sse41, sigFftInitAlloc_R_32f_sse41,
     sigFftFwd_R_32f_sse41, sigFftInv_R_32f_sse41, sigMulPackInPlace_32f_sse41},
};

} // namespace

const sigFftRealOps& sigFftRealOpsOf(int slot) { return kOps[slot >= 1 && slot <= 5 ? slot : 0]; }
