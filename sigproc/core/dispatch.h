// Per-processor dispatch of the library's entry points.
//
// Every public operation owns one group of six members, one per processor
// level (generic, SSE, SSE2, SSE3, SSSE3, SSE4.1). An entry point reads the
// level word, takes the member at that slot and runs it with the caller's
// arguments unchanged. Slots without a member of their own hold the generic
// member, and nothing in the system raises the level, so the generic member
// always runs and defines every operation's behaviour.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

inline constexpr int sigSlotCount = 6;

// A member's address, stored without its type; each entry point casts it back
// to the exact type it was stored from.
using sigMember = void (*)();
using sigGroup = std::array<sigMember, sigSlotCount>;

// The processor level 0..5; 0 from load to unload. Read without ordering: it
// never changes while the driver runs.
extern std::atomic<std::int32_t> sigCpuLevel;

// Group numbers of the first table.
enum sigTableGroup : int {
    sigGroupZero_32f = 0,
    sigGroupConvertScaled_32f16s = 1,
    sigGroupConvertScaled_32f32s = 2,
    sigGroupConvertScaled_16s32f = 3,
    sigGroupConvertScaled_32s32f = 4,
    sigGroupConvert_24s32f = 5,
    sigGroupConvertScaled_32f24s = 6,
    sigGroupAddInPlace_32f = 7,
    sigGroupDivConstInPlace_32f = 8,
    sigGroupMove_32f = 9,
    sigGroupMulConstInPlace_32f = 10,
    sigGroupFirInit_32f = 11,
    sigGroupFirGetStateSize_32f = 12,
    sigGroupFirMrInit_32f = 13,
    sigGroupFirMrGetStateSize_32f = 14,
    sigGroupFirProcess_32f = 15,
    sigGroupFirOneSample_32f = 16,
    sigGroupIirProcessInPlace_32f = 17,
    sigGroupIirGetStateSize_32f = 18,
    sigGroupIirInit_32f = 19,
    sigGroupConvert_32s32f = 20,
    sigGroupAddConstInPlace_32f = 21,
    sigGroupInterleave_32f = 22,
    sigGroupDeinterleave_32f = 23,
    sigGroupPow_32f = 24,
    sigTableGroupCount = 25,
};

// Group numbers of the second table.
enum sigTableAGroup : int {
    sigGroupCopy_32f = 0,
    sigGroupSet_32f = 1,
    sigGroupMulConst_32f = 2,
    sigGroupSqrtInPlace_32f = 3,
    sigGroupAbsInPlace_32f = 4,
    sigGroupMax_32f = 5,
    sigGroupMin_32f = 6,
    sigGroupMalloc_32f = 7,
    sigGroupFree = 8,
    sigGroupMulInPlace_32f = 9,
    sigGroupFftInitAlloc_C_32fc = 10,
    sigGroupFftFree_C_32fc = 11,
    sigGroupFftFwd_CToC_32fc = 12,
    sigGroupFlip_32f = 13,
    sigGroupAdd_32f = 14,
    sigGroupSub_32f = 15,
    sigGroupMul_32f = 16,
    sigGroupAddProduct_32f = 17,
    sigGroupSqr_32f = 18,
    sigGroupDiv_32f = 19,
    sigGroupExpInPlace_32f = 20,
    sigGroupLnInPlace_32f = 21,
    sigGroupSum_32f = 22,
    sigGroupMean_32f = 23,
    sigGroupMinEveryInPlace_32f = 24,
    sigGroupMaxEveryInPlace_32f = 25,
    sigGroupDotProd_32f = 26,
    sigGroupFftInitAlloc_R_32f = 27,
    sigGroupFftFree_R_32f = 28,
    sigGroupFftFwdInPlace_R_32f = 29,
    sigGroupFftInvInPlace_R_32f = 30,
    sigGroupMulPack_32f = 31,
    sigGroupIirInitAlloc_32f = 32,
    sigGroupIirFree_32f = 33,
    sigGroupIirProcess_32f = 34,
    sigGroupFirInitAlloc_32f = 35,
    sigGroupFirFree_32f = 36,
    sigGroupSampleUp_32f = 37,
    sigGroupSampleDown_32f = 38,
    sigGroupAddProductConst_32f = 39,
    sigTableAGroupCount = 40,
};

using sigTable = std::array<sigGroup, sigTableGroupCount>;
using sigTableA = std::array<sigGroup, sigTableAGroupCount>;

// Groups of operations that are not built carry no members (all slots null).
extern const sigTable sigDispatchTable;
extern const sigTableA sigDispatchTableA;

// The slot the current level selects; a level outside 0..5 reads as slot 0.
inline int sigCurrentSlot() {
    const std::int32_t level = sigCpuLevel.load(std::memory_order_relaxed);
    return (level >= 0 && level < sigSlotCount) ? level : 0;
}

// A group that holds `generic` in every slot.
template <typename Fn> sigGroup sigUniformGroup(Fn* generic) {
    sigGroup group;
    group.fill(reinterpret_cast<sigMember>(generic));
    return group;
}

// Runs the member of `group` at the current level with the caller's arguments.
// `Fn` is the type every member of the group was stored with.
template <typename Fn, typename... Args> auto sigDispatch(const sigGroup& group, Args... args) {
    return reinterpret_cast<Fn*>(group[sigCurrentSlot()])(args...);
}
