// The impulse-response store of the headphone FIR: 27 head blocks (10
// filters of 1024 taps each) and 9 two-channel reverberation tails for three
// rooms and nine angle codes, followed by the crosstalk tables of five
// angles. The layout is fixed; the values are generated once, by the rules
// in impulse_store.cpp, the first time the store is asked for.
#pragma once

#include <cstddef>

inline constexpr int HeadFilterCount = 10;    // source-ear pairs
inline constexpr int HeadFilterLength = 1024; // taps per head filter
inline constexpr int HeadBlockLength = HeadFilterCount * HeadFilterLength;
inline constexpr int TailChannels = 2;
inline constexpr std::size_t ImpulseStoreLength = 370688;
inline constexpr int CrosstalkAngleCount = 5;
inline constexpr int CrosstalkTaps = 256;
inline constexpr std::size_t CrosstalkTablesLength = CrosstalkAngleCount * 2 * CrosstalkTaps;

// One set of the store: a table room, its angle codes and where its head
// blocks and its tail lie (positions in floats from the start of the store).
struct ImpulseSet {
    int room;
    int codes[4]; // in head-block order; one code for a one-block set
    int headBlocks;
    std::size_t firstHead;
    std::size_t tail;
    int tailLength; // taps per tail channel
};

inline constexpr ImpulseSet ImpulseSets[] = {
    {3, {24, 29, 34, 39}, 4, 0, 40960, 7168},
    {2, {24, 29, 34, 39}, 4, 55296, 96256, 3072},
    {1, {24, 29, 34, 39}, 4, 102400, 143360, 3072},
    {3, {25, 30, 35, 40}, 4, 149504, 190464, 7168},
    {2, {25, 30, 35, 40}, 4, 204800, 245760, 5120},
    {1, {25, 30, 35, 40}, 4, 256000, 296960, 3072},
    {3, {31}, 1, 303104, 313344, 6144},
    {2, {31}, 1, 325632, 335872, 6144},
    {1, {31}, 1, 348160, 358400, 6144},
};

inline constexpr int CrosstalkAngles[CrosstalkAngleCount] = {5, 10, 15, 20, 30};

// The head block and tail of (table room, angle code), or false when the
// store has none.
struct ImpulseSelection {
    const float* head;
    const float* tail;
    int tailLength;
};
bool FindImpulseSet(int room, int code, ImpulseSelection* selection);

// Filter A then filter B (256 taps each) of a crosstalk angle in degrees, or
// null for an angle without a table.
const float* FindCrosstalkTable(int angle);

// The whole store followed by the crosstalk tables (ImpulseStoreLength +
// CrosstalkTablesLength floats), generated on the first call.
const float* ImpulseStore();

// Interaural time difference of a source at `degrees` azimuth for a
// spherical head, in samples at 44100 Hz (Woodworth's formula).
double InterauralDelaySamples(double degrees);
