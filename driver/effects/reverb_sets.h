// The coefficient sets of the multichannel reverberator, one per sample rate
// (48000, 44100, 32000, 96000 and 88200 Hz, set numbers 0, 1, 2, 16, 17):
// four feedback delay lines with fractional taps, the input and feedback
// matrices, a high-pass per line input, seven sparse early-reflection FIRs,
// the output matrix and a tone chain per side. The sets are built once, on
// first use, by the rule in reverb_sets.cpp.
#pragma once

#include <cstdint>

inline constexpr int ReverbLines = 4;
inline constexpr int ReverbMaxLineTaps = 4;
inline constexpr int ReverbEarlyFirs = 7;
inline constexpr int ReverbMaxFirTaps = 42;
inline constexpr int ReverbToneStages = 5;
inline constexpr int ReverbHighPassSlots = 6;
inline constexpr int ReverbLeftToneSlots = 10;
inline constexpr int ReverbRightToneSlots = 11;
inline constexpr int ReverbMaxBufferLength = 7155;

struct ReverbSet {
    int rate;
    int lineTaps; // interpolation gains per line: 2, 3 or 4
    int lineDelays[ReverbLines];
    float lineGains[ReverbLines][ReverbMaxLineTaps];
    float input[8];    // i1..i8
    float highPass[5]; // h1..h5: y = 2 (h1 x + h2 x1 + h3 x2 + h4 y1 + h5 y2)
    float earlyGains[11];
    float earlyMatrix[12];
    int firLengths[ReverbEarlyFirs];
    float firTaps[ReverbEarlyFirs][ReverbMaxFirTaps]; // tap k at a delay of 2 (k + 1)
    float leftRow[ReverbEarlyFirs];
    float rightRow[ReverbEarlyFirs];
    float tone[ReverbToneStages][3]; // the same chain on both sides
    float feedback[ReverbLines][ReverbLines];
    int writeSteps[ReverbLines]; // line delay plus its taps
    int bufferLength;            // every region of the circular buffer
};

inline constexpr int ReverbSetCount = 18; // set numbers 0..17; 3..15 hold none

// The set of a set number; null for a number that holds none.
const ReverbSet* ReverbSetByNumber(int number);
// The set number of a rate; any rate not listed takes the 44100 Hz set.
int ReverbSetNumberForRate(int rate);
// The cutoff of every set's high-pass sections.
inline constexpr double ReverbHighPassCutoffHz = 204.0;
