// FIR filters: single-rate state set-up (in a caller's buffer or a library
// block), release, block processing on a direct and an FFT overlap path, and
// the one-sample filter with a caller-held delay line.
#pragma once

#include "sigproc/filters/fir_state.h"
#include "sigproc/filters/fir_tap_copies.h"

#include <cstdint>

// Generic members.
int sigFirGetStateSize_32f_generic(int tapsLen, int* pSize);
int sigFirInit_32f_generic(sigFirState** pState, const float* taps, int tapsLen,
                           const float* dlyLine, unsigned char* buffer);
int sigFirInitAlloc_32f_generic(sigFirState** pState, const float* taps, int tapsLen,
                                const float* dlyLine);
int sigFirFree_32f_generic(sigFirState* state);
int sigFirProcess_32f_generic(const float* src, float* dst, int numIters, sigFirState* pState);
int sigFirOneSample_32f_generic(float src, float* pDstVal, const float* taps, int tapsLen,
                                float* dlyLine, int* pDlyLineIndex);

// The set-up bodies below build the overlap path's FFT with the real-FFT
// members of one processor slot (0: generic); processing then transforms with
// the members of the slot its record names.

// Bytes for a single-rate state of tapsLen (>= 1) taps in a caller's buffer.
// A size the 32-bit count cannot carry is refused with sigErrFirLength.
int sigFirStateSize_32f(int tapsLen, int* pSize, int fftSlot);

// Builds a state with the given id in `buffer` (rounded up to 16 bytes) and
// stores *pState. Fails only on a size that cannot be represented, before
// writing anything; a missing FFT part leaves a state that filters directly.
int sigFirInitState_32f(sigFirState** pState, const float* taps, int tapsLen, const float* dlyLine,
                        unsigned char* buffer, std::uint32_t id, int fftSlot);

// The body of sigFirInitAlloc_32f after its argument checks. *pState is
// written only on success; on failure nothing stays allocated.
int sigFirInitAllocState_32f(sigFirState** pState, const float* taps, int tapsLen,
                             const float* dlyLine, std::uint32_t id, int fftSlot);

// The set-up members' bodies with the slot of the FFT members as a parameter:
// the generic members are these with slot 0.
int sigFirGetStateSizeFor_32f(int tapsLen, int* pSize, int fftSlot);
int sigFirInitFor_32f(sigFirState** pState, const float* taps, int tapsLen, const float* dlyLine,
                      unsigned char* buffer, int fftSlot);
int sigFirInitAllocFor_32f(sigFirState** pState, const float* taps, int tapsLen,
                           const float* dlyLine, int fftSlot);

// The FIR set-up members of slots 1 to 5: the generic checks and state, with
// the overlap path's FFT made by the slot's real-FFT members.
#define SIG_FIR_SLOT_DECLARE(suffix)                                                               \
    int sigFirGetStateSize_32f_##suffix(int tapsLen, int* pSize);                                  \
    int sigFirInit_32f_##suffix(sigFirState** pState, const float* taps, int tapsLen,              \
                                const float* dlyLine, unsigned char* buffer);                      \
    int sigFirInitAlloc_32f_##suffix(sigFirState** pState, const float* taps, int tapsLen,         \
                                     const float* dlyLine);
SIG_FIR_SLOT_DECLARE(sse)
SIG_FIR_SLOT_DECLARE(sse2)
SIG_FIR_SLOT_DECLARE(sse3)
SIG_FIR_SLOT_DECLARE(ssse3)
SIG_FIR_SLOT_DECLARE(sse41)
#undef SIG_FIR_SLOT_DECLARE

// Blocks this long or longer take the overlap path when the state has one;
// shorter ones are cheaper on the direct path.
inline constexpr int sigFirOverlapMinBlock = 512;

// Single-rate processing paths, after the entry's checks.
void sigFirProcessDirect_32f(sigFirState* state, const float* src, float* dst, int numIters);
// The direct path with its outputs y[i] (i < count) computed by `run` from the
// windows starting at w + i.
using sigFirDirectRun = void(const sigFirState* state, const float* w, float* y,
                             std::int64_t count);
void sigFirProcessDirectBy_32f(sigFirState* state, const float* src, float* dst, int numIters,
                               sigFirDirectRun* run);
int sigFirProcessFft_32f(sigFirState* state, const float* src, float* dst, int numIters);

// ---- shared by both set-ups

// Filters of this many taps or more get an FFT part for the overlap path.
inline constexpr int sigFirFftMinTaps = 64;

// floor(log2 tapsLen) + 2, so that 2·tapsLen < 2^order <= 4·tapsLen; 0 below 64 taps.
int sigFirFftOrder(int tapsLen);

// Byte offsets of a single-rate state's areas from the record's start, and
// where the state ends. The FFT specification and its init area lie inside only
// for a state in a caller's buffer.
// polyTaps is 0 for a set-up slot without the replicated taps.
struct sigFirAreas {
    std::int64_t taps, delay, polyTaps, gap, fftSpec, fftInit, fftTaps, fftWork, block, spare, end;
};
sigFirAreas sigFirPlanAreas(int tapsLen, std::int64_t fftLen, std::int64_t specBytes,
                            std::int64_t initBytes, std::int64_t workBytes, int slot);

// Writes the words both set-ups share (everything but the FFT part), the
// reversed taps and the delay line (dlyLine newest first, or null for silence).
void sigFirWriteSingleRate(sigFirState* state, const sigFirAreas& areas, const float* taps,
                           int tapsLen, const float* dlyLine, std::uint32_t id,
                           std::int32_t fftWorkBytes);

// The tap copies of a state made by the set-up of `slot` (fir_tap_copies.h),
// after sigFirWriteSingleRate.
void sigFirWriteTapCopies(sigFirState* state, const sigFirAreas& areas, const float* taps,
                          int tapsLen, int slot);

// The overlap path's words of a state whose FFT specification is in place,
// and the spectrum of the taps in their own order, zero-padded to fftLen, made
// with that specification. Returns the transform's status.
int sigFirSetFftPart(sigFirState* state, const sigFirAreas& areas, int fftLen, int workBytes,
                     const float* taps);

// The words of a state without an FFT part, which filters on the direct path alone.
void sigFirClearFftPart(sigFirState* state);
