// Multi-rate FIR states (id FI03): up-sampling by `up` (zero insertion, input
// sample i at position i·up + upPhase), filtering, and down-sampling by `down`
// (output o at position o·down + downPhase) in one pass, without forming the
// up-sampled signal. Every iteration consumes `down` inputs and yields `up`
// outputs, four at a time from a polyphase tap table.
//
// Two layouts hold the tables. The dense one (mode 1) gives every group of
// four outputs rows of the same length, zeros included; the indexed one
// (mode 2 for up = 1, mode 3 beyond) keeps only the taps a phase uses and one
// window start per output row. Both filter alike; the choice only trades
// table size against wasted products.
#pragma once

#include "sigproc/filters/fir_state.h"

#include <cstdint>

enum class sigFirMrLayout { Dense, Indexed };

// The layout the size query and the set-up both take, from the share of
// zeros a dense row would hold: tapsLen / (tapsLen + 3·down), in double.
sigFirMrLayout sigFirMrChooseLayout(int tapsLen, int up, int down);

// Bytes for a state of the dense or the indexed layout (the state starts at
// the buffer rounded up to 16). A state the 32-bit size cannot carry gives
// sigErrFirLength.
int sigFirMrStateSizeDense_32f(int tapsLen, int up, int down, int* pSize);
int sigFirMrStateSizeIndexed_32f(int tapsLen, int up, int down, int* pSize);

// Build a state of the dense or the indexed layout, with the given id, in
// `buffer`, after the entry's checks (factors >= 1, phases inside them, at
// least one of the factors above 1). Return the state and write sigOk to
// *pStatus; a state the 32-bit size cannot carry gives null and
// sigErrFirLength, before anything is written.
sigFirState* sigFirMrInitDense_32f(const float* taps, int tapsLen, int up, int upPhase, int down,
                                   int downPhase, const float* dlyLine, int* pStatus,
                                   unsigned char* buffer, std::uint32_t id);
sigFirState* sigFirMrInitIndexed_32f(const float* taps, int tapsLen, int up, int upPhase, int down,
                                     int downPhase, const float* dlyLine, int* pStatus,
                                     unsigned char* buffer, std::uint32_t id);

// Generic members.
int sigFirMrGetStateSize_32f_generic(int tapsLen, int up, int down, int* pSize);
int sigFirMrInit_32f_generic(sigFirState** pState, const float* taps, int tapsLen, int up,
                             int upPhase, int down, int downPhase, const float* dlyLine,
                             unsigned char* buffer);

// The processing routines of modes 1, 2 and 3, after the entry's checks;
// each returns sigOk.
int sigFirMrProcessDense_32f(sigFirState* state, const float* src, float* dst, int numIters);
int sigFirMrProcessDown_32f(sigFirState* state, const float* src, float* dst, int numIters);
int sigFirMrProcessIndexed_32f(sigFirState* state, const float* src, float* dst, int numIters);
