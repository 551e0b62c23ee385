// Per-processor dispatch of the library's entry points.
//
// Every public operation owns one group of six members, one per processor
// level (generic, SSE, SSE2, SSE3, SSSE3, SSE4.1). An entry point reads the
// level word, takes the member at that slot and runs it with the caller's
// arguments unchanged. Slots without a member of their own hold the generic
// member, and nothing in the system raises the level, so the generic member
// always runs and defines every operation's behaviour.
//
// Both tables are constant data, fixed when the library is built: an entry
// point works from the first instruction of the program, even when it is
// called from another unit's static initialiser. Each group keeps the type of
// its members, so the tables need no casts and an entry point cannot call a
// member through the wrong signature.
#pragma once

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

#include <array>
#include <atomic>
#include <cstdint>

inline constexpr int sigSlotCount = 6;

// The six members of one operation, slot k for processor level k. There is no
// empty group: a group is made from its members or from the one member that
// serves every level.
template <typename Fn> class sigGroup {
public:
    using Member = Fn*;

    constexpr sigGroup(Member generic)
        : slots_{generic, generic, generic, generic, generic, generic} {}
    constexpr sigGroup(const std::array<Member, sigSlotCount>& members) : slots_(members) {}

    constexpr Member operator[](int slot) const { return slots_[static_cast<std::size_t>(slot)]; }
    constexpr auto begin() const { return slots_.begin(); }
    constexpr auto end() const { return slots_.end(); }

private:
    std::array<Member, sigSlotCount> slots_;
};

// The first table: 25 groups, in group order.
struct sigTable {
    sigGroup<decltype(sigZero_32f_generic)> zero_32f;                           // 0
    sigGroup<decltype(sigConvertScaled_32f16s_generic)> convertScaled_32f16s;   // 1
    sigGroup<decltype(sigConvertScaled_32f32s_generic)> convertScaled_32f32s;   // 2
    sigGroup<decltype(sigConvertScaled_16s32f_generic)> convertScaled_16s32f;   // 3
    sigGroup<decltype(sigConvertScaled_32s32f_generic)> convertScaled_32s32f;   // 4
    sigGroup<decltype(sigConvert_24s32f_generic)> convert_24s32f;               // 5
    sigGroup<decltype(sigConvertScaled_32f24s_generic)> convertScaled_32f24s;   // 6
    sigGroup<decltype(sigAddInPlace_32f_generic)> addInPlace_32f;               // 7
    sigGroup<decltype(sigDivConstInPlace_32f_generic)> divConstInPlace_32f;     // 8
    sigGroup<decltype(sigMove_32f_generic)> move_32f;                           // 9
    sigGroup<decltype(sigMulConstInPlace_32f_generic)> mulConstInPlace_32f;     // 10
    sigGroup<decltype(sigFirInit_32f_generic)> firInit_32f;                     // 11
    sigGroup<decltype(sigFirGetStateSize_32f_generic)> firGetStateSize_32f;     // 12
    sigGroup<decltype(sigFirMrInit_32f_generic)> firMrInit_32f;                 // 13
    sigGroup<decltype(sigFirMrGetStateSize_32f_generic)> firMrGetStateSize_32f; // 14
    sigGroup<decltype(sigFirProcess_32f_generic)> firProcess_32f;               // 15
    sigGroup<decltype(sigFirOneSample_32f_generic)> firOneSample_32f;           // 16
    sigGroup<decltype(sigIirProcessInPlace_32f_generic)> iirProcessInPlace_32f; // 17
    sigGroup<decltype(sigIirGetStateSize_32f_generic)> iirGetStateSize_32f;     // 18
    sigGroup<decltype(sigIirInit_32f_generic)> iirInit_32f;                     // 19
    sigGroup<decltype(sigConvert_32s32f_generic)> convert_32s32f;               // 20
    sigGroup<decltype(sigAddConstInPlace_32f_generic)> addConstInPlace_32f;     // 21
    sigGroup<decltype(sigInterleave_32f_generic)> interleave_32f;               // 22
    sigGroup<decltype(sigDeinterleave_32f_generic)> deinterleave_32f;           // 23
    sigGroup<decltype(sigPow_32f_generic)> pow_32f;                             // 24
};

// The second table: 40 groups, in group order.
struct sigTableA {
    sigGroup<decltype(sigCopy_32f_generic)> copy_32f;                       // 0
    sigGroup<decltype(sigSet_32f_generic)> set_32f;                         // 1
    sigGroup<decltype(sigMulConst_32f_generic)> mulConst_32f;               // 2
    sigGroup<decltype(sigSqrtInPlace_32f_generic)> sqrtInPlace_32f;         // 3
    sigGroup<decltype(sigAbsInPlace_32f_generic)> absInPlace_32f;           // 4
    sigGroup<decltype(sigMax_32f_generic)> max_32f;                         // 5
    sigGroup<decltype(sigMin_32f_generic)> min_32f;                         // 6
    sigGroup<decltype(sigMalloc_32f_generic)> malloc_32f;                   // 7
    sigGroup<decltype(sigFree_generic)> free;                               // 8
    sigGroup<decltype(sigMulInPlace_32f_generic)> mulInPlace_32f;           // 9
    sigGroup<decltype(sigFftInitAlloc_C_32fc_generic)> fftInitAlloc_C_32fc; // 10
    sigGroup<decltype(sigFftFree_C_32fc_generic)> fftFree_C_32fc;           // 11
    sigGroup<decltype(sigFftFwd_CToC_32fc_generic)> fftFwd_CToC_32fc;       // 12
    sigGroup<decltype(sigFlip_32f_generic)> flip_32f;                       // 13
    sigGroup<decltype(sigAdd_32f_generic)> add_32f;                         // 14
    sigGroup<decltype(sigSub_32f_generic)> sub_32f;                         // 15
    sigGroup<decltype(sigMul_32f_generic)> mul_32f;                         // 16
    sigGroup<decltype(sigAddProduct_32f_generic)> addProduct_32f;           // 17
    sigGroup<decltype(sigSqr_32f_generic)> sqr_32f;                         // 18
    sigGroup<decltype(sigDiv_32f_generic)> div_32f;                         // 19
    sigGroup<decltype(sigExpInPlace_32f_generic)> expInPlace_32f;           // 20
    sigGroup<decltype(sigLnInPlace_32f_generic)> lnInPlace_32f;             // 21
    sigGroup<decltype(sigSum_32f_generic)> sum_32f;                         // 22
    sigGroup<decltype(sigMean_32f_generic)> mean_32f;                       // 23
    sigGroup<decltype(sigMinEveryInPlace_32f_generic)> minEveryInPlace_32f; // 24
    sigGroup<decltype(sigMaxEveryInPlace_32f_generic)> maxEveryInPlace_32f; // 25
    sigGroup<decltype(sigDotProd_32f_generic)> dotProd_32f;                 // 26
    sigGroup<decltype(sigFftInitAlloc_R_32f_generic)> fftInitAlloc_R_32f;   // 27
    sigGroup<decltype(sigFftFree_R_32f_generic)> fftFree_R_32f;             // 28
    sigGroup<decltype(sigFftFwdInPlace_R_32f_generic)> fftFwdInPlace_R_32f; // 29
    sigGroup<decltype(sigFftInvInPlace_R_32f_generic)> fftInvInPlace_R_32f; // 30
    sigGroup<decltype(sigMulPack_32f_generic)> mulPack_32f;                 // 31
    sigGroup<decltype(sigIirInitAlloc_32f_generic)> iirInitAlloc_32f;       // 32
    sigGroup<decltype(sigIirFree_32f_generic)> iirFree_32f;                 // 33
    sigGroup<decltype(sigIirProcess_32f_generic)> iirProcess_32f;           // 34
    sigGroup<decltype(sigFirInitAlloc_32f_generic)> firInitAlloc_32f;       // 35
    sigGroup<decltype(sigFirFree_32f_generic)> firFree_32f;                 // 36
    sigGroup<decltype(sigSampleUp_32f_generic)> sampleUp_32f;               // 37
    sigGroup<decltype(sigSampleDown_32f_generic)> sampleDown_32f;           // 38
    sigGroup<decltype(sigAddProductConst_32f_generic)> addProductConst_32f; // 39
};

// A group is six code pointers and the groups follow one another.
inline constexpr std::size_t sigGroupBytes = sigSlotCount * sizeof(void (*)());
static_assert(sizeof(sigTable) == 25 * sigGroupBytes);
static_assert(sizeof(sigTableA) == 40 * sigGroupBytes);

// The processor level 0..5; 0 from load to unload. Read without ordering: it
// never changes while the driver runs.
extern constinit std::atomic<std::int32_t> sigCpuLevel;

extern constinit const sigTable sigDispatchTable;
extern constinit const sigTableA sigDispatchTableA;

// The slot the current level selects; a level outside 0..5 reads as slot 0.
inline int sigCurrentSlot() {
    const std::int32_t level = sigCpuLevel.load(std::memory_order_relaxed);
    return (level >= 0 && level < sigSlotCount) ? level : 0;
}

// Runs the member of `group` at the current level with the caller's arguments.
template <typename Fn, typename... Args> auto sigDispatch(const sigGroup<Fn>& group, Args... args) {
    return group[sigCurrentSlot()](args...);
}
