// The library's two dispatch tables. Only generic members are built, so every
// group holds its generic member in all six slots.
#include "sigproc/core/dispatch.h"

#include "sigproc/core/memory.h"
#include "sigproc/fft/complex_fft.h"
#include "sigproc/fft/real_fft.h"
#include "sigproc/filters/fir.h"
#include "sigproc/filters/fir_multirate.h"
#include "sigproc/filters/iir.h"
#include "sigproc/vector/arith_const.h"
#include "sigproc/vector/convert.h"
#include "sigproc/vector/elementwise.h"
#include "sigproc/vector/fill.h"
#include "sigproc/vector/interleave.h"
#include "sigproc/vector/pow.h"
#include "sigproc/vector/reduce.h"
#include "sigproc/vector/sampling.h"
#include "sigproc/vector/transcendental.h"
#include "sigproc/vector/vector_arith.h"

std::atomic<std::int32_t> sigCpuLevel{0};

const sigTable sigDispatchTable = [] {
    sigTable t{};
    t[sigGroupZero_32f] = sigUniformGroup(sigZero_32f_generic);
    t[sigGroupConvertScaled_32f16s] = sigUniformGroup(sigConvertScaled_32f16s_generic);
    t[sigGroupConvertScaled_32f32s] = sigUniformGroup(sigConvertScaled_32f32s_generic);
    t[sigGroupConvertScaled_16s32f] = sigUniformGroup(sigConvertScaled_16s32f_generic);
    t[sigGroupConvertScaled_32s32f] = sigUniformGroup(sigConvertScaled_32s32f_generic);
    t[sigGroupConvert_24s32f] = sigUniformGroup(sigConvert_24s32f_generic);
    t[sigGroupConvertScaled_32f24s] = sigUniformGroup(sigConvertScaled_32f24s_generic);
    t[sigGroupAddInPlace_32f] = sigUniformGroup(sigAddInPlace_32f_generic);
    t[sigGroupDivConstInPlace_32f] = sigUniformGroup(sigDivConstInPlace_32f_generic);
    t[sigGroupMove_32f] = sigUniformGroup(sigMove_32f_generic);
    t[sigGroupMulConstInPlace_32f] = sigUniformGroup(sigMulConstInPlace_32f_generic);
    t[sigGroupFirInit_32f] = sigUniformGroup(sigFirInit_32f_generic);
    t[sigGroupFirGetStateSize_32f] = sigUniformGroup(sigFirGetStateSize_32f_generic);
    t[sigGroupFirMrInit_32f] = sigUniformGroup(sigFirMrInit_32f_generic);
    t[sigGroupFirMrGetStateSize_32f] = sigUniformGroup(sigFirMrGetStateSize_32f_generic);
    t[sigGroupFirProcess_32f] = sigUniformGroup(sigFirProcess_32f_generic);
    t[sigGroupFirOneSample_32f] = sigUniformGroup(sigFirOneSample_32f_generic);
    t[sigGroupIirProcessInPlace_32f] = sigUniformGroup(sigIirProcessInPlace_32f_generic);
    t[sigGroupIirGetStateSize_32f] = sigUniformGroup(sigIirGetStateSize_32f_generic);
    t[sigGroupIirInit_32f] = sigUniformGroup(sigIirInit_32f_generic);
    t[sigGroupConvert_32s32f] = sigUniformGroup(sigConvert_32s32f_generic);
    t[sigGroupAddConstInPlace_32f] = sigUniformGroup(sigAddConstInPlace_32f_generic);
    t[sigGroupInterleave_32f] = sigUniformGroup(sigInterleave_32f_generic);
    t[sigGroupDeinterleave_32f] = sigUniformGroup(sigDeinterleave_32f_generic);
    t[sigGroupPow_32f] = sigUniformGroup(sigPow_32f_generic);
    return t;
}();

const sigTableA sigDispatchTableA = [] {
    sigTableA t{};
    t[sigGroupCopy_32f] = sigUniformGroup(sigCopy_32f_generic);
    t[sigGroupSet_32f] = sigUniformGroup(sigSet_32f_generic);
    t[sigGroupMulConst_32f] = sigUniformGroup(sigMulConst_32f_generic);
    t[sigGroupMalloc_32f] = sigUniformGroup(sigMalloc_32f_generic);
    t[sigGroupFree] = sigUniformGroup(sigFree_generic);
    // Element-wise operations.
    t[sigGroupAbsInPlace_32f] = sigUniformGroup(sigAbsInPlace_32f_generic);
    t[sigGroupMax_32f] = sigUniformGroup(sigMax_32f_generic);
    t[sigGroupMin_32f] = sigUniformGroup(sigMin_32f_generic);
    t[sigGroupMulInPlace_32f] = sigUniformGroup(sigMulInPlace_32f_generic);
    t[sigGroupFlip_32f] = sigUniformGroup(sigFlip_32f_generic);
    t[sigGroupAdd_32f] = sigUniformGroup(sigAdd_32f_generic);
    t[sigGroupSub_32f] = sigUniformGroup(sigSub_32f_generic);
    t[sigGroupAddProductConst_32f] = sigUniformGroup(sigAddProductConst_32f_generic);
    // Operations without entry points.
    t[sigGroupSqrtInPlace_32f] = sigUniformGroup(sigSqrtInPlace_32f_generic);
    t[sigGroupMul_32f] = sigUniformGroup(sigMul_32f_generic);
    t[sigGroupAddProduct_32f] = sigUniformGroup(sigAddProduct_32f_generic);
    t[sigGroupSqr_32f] = sigUniformGroup(sigSqr_32f_generic);
    t[sigGroupDiv_32f] = sigUniformGroup(sigDiv_32f_generic);
    t[sigGroupExpInPlace_32f] = sigUniformGroup(sigExpInPlace_32f_generic);
    t[sigGroupLnInPlace_32f] = sigUniformGroup(sigLnInPlace_32f_generic);
    t[sigGroupSum_32f] = sigUniformGroup(sigSum_32f_generic);
    t[sigGroupMean_32f] = sigUniformGroup(sigMean_32f_generic);
    t[sigGroupMinEveryInPlace_32f] = sigUniformGroup(sigMinEveryInPlace_32f_generic);
    t[sigGroupMaxEveryInPlace_32f] = sigUniformGroup(sigMaxEveryInPlace_32f_generic);
    t[sigGroupDotProd_32f] = sigUniformGroup(sigDotProd_32f_generic);
    // Up- and down-sampling.
    t[sigGroupSampleUp_32f] = sigUniformGroup(sigSampleUp_32f_generic);
    t[sigGroupSampleDown_32f] = sigUniformGroup(sigSampleDown_32f_generic);
    // The real FFT and the packed multiply.
    t[sigGroupFftInitAlloc_R_32f] = sigUniformGroup(sigFftInitAlloc_R_32f_generic);
    t[sigGroupFftFree_R_32f] = sigUniformGroup(sigFftFree_R_32f_generic);
    t[sigGroupFftFwdInPlace_R_32f] = sigUniformGroup(sigFftFwdInPlace_R_32f_generic);
    t[sigGroupFftInvInPlace_R_32f] = sigUniformGroup(sigFftInvInPlace_R_32f_generic);
    t[sigGroupMulPack_32f] = sigUniformGroup(sigMulPack_32f_generic);
    t[sigGroupIirInitAlloc_32f] = sigUniformGroup(sigIirInitAlloc_32f_generic);
    t[sigGroupIirFree_32f] = sigUniformGroup(sigIirFree_32f_generic);
    t[sigGroupIirProcess_32f] = sigUniformGroup(sigIirProcess_32f_generic);
    t[sigGroupFirInitAlloc_32f] = sigUniformGroup(sigFirInitAlloc_32f_generic);
    t[sigGroupFirFree_32f] = sigUniformGroup(sigFirFree_32f_generic);
    // The complex FFT, which has no entry points.
    t[sigGroupFftInitAlloc_C_32fc] = sigUniformGroup(sigFftInitAlloc_C_32fc_generic);
    t[sigGroupFftFree_C_32fc] = sigUniformGroup(sigFftFree_C_32fc_generic);
    t[sigGroupFftFwd_CToC_32fc] = sigUniformGroup(sigFftFwd_CToC_32fc_generic);
    return t;
}();
