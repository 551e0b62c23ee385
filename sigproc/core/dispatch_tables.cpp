// The library's two dispatch tables. Only generic members are built, so every
// group holds its generic member in all six slots.
#include "sigproc/core/dispatch.h"

#include "sigproc/core/memory.h"
#include "sigproc/filters/iir.h"
#include "sigproc/vector/arith_const.h"
#include "sigproc/vector/convert.h"
#include "sigproc/vector/fill.h"
#include "sigproc/vector/interleave.h"

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
    t[sigGroupIirProcessInPlace_32f] = sigUniformGroup(sigIirProcessInPlace_32f_generic);
    t[sigGroupIirGetStateSize_32f] = sigUniformGroup(sigIirGetStateSize_32f_generic);
    t[sigGroupIirInit_32f] = sigUniformGroup(sigIirInit_32f_generic);
    t[sigGroupConvert_32s32f] = sigUniformGroup(sigConvert_32s32f_generic);
    t[sigGroupAddConstInPlace_32f] = sigUniformGroup(sigAddConstInPlace_32f_generic);
    t[sigGroupInterleave_32f] = sigUniformGroup(sigInterleave_32f_generic);
    t[sigGroupDeinterleave_32f] = sigUniformGroup(sigDeinterleave_32f_generic);
    return t;
}();

const sigTableA sigDispatchTableA = [] {
    sigTableA t{};
    t[sigGroupCopy_32f] = sigUniformGroup(sigCopy_32f_generic);
    t[sigGroupSet_32f] = sigUniformGroup(sigSet_32f_generic);
    t[sigGroupMulConst_32f] = sigUniformGroup(sigMulConst_32f_generic);
    t[sigGroupMalloc_32f] = sigUniformGroup(sigMalloc_32f_generic);
    t[sigGroupFree] = sigUniformGroup(sigFree_generic);
    t[sigGroupIirInitAlloc_32f] = sigUniformGroup(sigIirInitAlloc_32f_generic);
    t[sigGroupIirFree_32f] = sigUniformGroup(sigIirFree_32f_generic);
    t[sigGroupIirProcess_32f] = sigUniformGroup(sigIirProcess_32f_generic);
    return t;
}();
