// What tells the processor-specific real-FFT members of slots 1 to 5 apart:
// the orders at which each leaves the fused in-cache transform for a bit
// reversal followed by the passes, and the passes for the large-order
// decomposition; how far the passes block for the cache; and the
// decomposition's tables. Everything else is one body shared by the slots.
#pragma once

#include <array>
#include <cstdint>

// Per complex order m = order - 1: log2 of the decomposition's row count, and
// log2 of its strip size (rows x strip width). Entries below a slot's entry
// order are never read.
using sigFftSplitTable = std::array<std::int8_t, 31>;

// Slots 5, 4 and 3, both directions.
inline constexpr sigFftSplitTable sigFftRowSplitLog2 = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, // 0 .. 16
    3, 4, 4, 4, 5, 8, 8, 8, 8, 8, 8, 8, 8,             // 17 .. 29
    8,                                                 // 30
};
inline constexpr sigFftSplitTable sigFftStripLog2 = {
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, 0, 0, 0, // 0 .. 16
    9,  10, 10, 10, 13, 15, 15, 15, 15, 15, 15, 15, 15,             // 17 .. 29
    15,                                                             // 30
};

// Slot 2 enters one order earlier and splits differently.
inline constexpr sigFftSplitTable sigFftRowSplitLog2_sse2 = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, // 0 .. 15
    4, 4, 4, 5, 6, 6, 8, 8, 8, 8, 8, 8, 8, 8,       // 16 .. 29
    8,                                              // 30
};
inline constexpr sigFftSplitTable sigFftStripLog2_sse2 = {
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, 0, // 0 .. 15
    9,  10, 10, 13, 13, 13, 14, 14, 14, 14, 14, 14, 14, 14,       // 16 .. 29
    14,                                                           // 30
};

// Slot 1 splits as the generic transform does; where the generic transform
// halves (m = 11, 12) it takes two rows, and its strips are four columns wide.
inline constexpr sigFftSplitTable sigFftRowSplitLog2_sse = {
    0,  0,  0, 0, 0,  0,  0,  0,  0,  0,  0, // 0 .. 10
    1,  1,  5, 6, 7,  8,  8,  8,  10, 10,    // 11 .. 20
    10, 10, 8, 8, 10, 10, 10, 10, 10,        // 21 .. 29
    10,                                      // 30
};
inline constexpr sigFftSplitTable sigFftStripLog2_sse = {
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, // 0 .. 10
    3,  3,  7,  8,  9,  10, 10, 10, 12, 12,    // 11 .. 20
    12, 12, 10, 10, 12, 12, 12, 12, 12,        // 21 .. 29
    12,                                        // 30
};

struct sigFftSimdSlot {
    int slot;         // 1 .. 5, also the level that selects it
    int directMaxM;   // the fused transform up to this complex order
    int blockedFromM; // the decomposition from this complex order
    std::int64_t
        blockValues; // passes up to length 1024 run per block of this many values (0: none)
    int rowMaxM;     // longer decomposition rows are decomposed again
    const sigFftSplitTable* rowSplit;
    const sigFftSplitTable* stripLog2;
};

inline constexpr sigFftSimdSlot sigFftSlotSse41{
    5, 16, 18, 2048, 17, &sigFftRowSplitLog2, &sigFftStripLog2};
inline constexpr sigFftSimdSlot sigFftSlotSsse3{
    4, 16, 18, 2048, 17, &sigFftRowSplitLog2, &sigFftStripLog2};
inline constexpr sigFftSimdSlot sigFftSlotSse3{
    3, 15, 17, 1024, 16, &sigFftRowSplitLog2, &sigFftStripLog2};
inline constexpr sigFftSimdSlot sigFftSlotSse2{
    2, 14, 16, 0, 15, &sigFftRowSplitLog2_sse2, &sigFftStripLog2_sse2};
inline constexpr sigFftSimdSlot sigFftSlotSse{
    1, 9, 11, 0, 10, &sigFftRowSplitLog2_sse, &sigFftStripLog2_sse};

// The slot's traits by its number (1 .. 5).
const sigFftSimdSlot& sigFftSimdSlotOf(int slot);
