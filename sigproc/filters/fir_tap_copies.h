// The extra tap copies that the set-ups of processor slots 1 to 5 lay out for
// their direct-path kernels, next to the reversed taps every state has.
//
// Replicated taps (slots 1 to 5): each tap in its own order, four times in a
// row, so that one aligned load gives a tap in all four lanes of a vector.
// Reversed copies (slots 4 and 5): the taps area holds four copies of the
// reversed taps, copy j from float j·(h + 1), the rest zero; copy j has tap k
// at the same position within a 16-byte line as a window that starts j floats
// past a line's start has its sample k.
#pragma once

#include "sigproc/filters/fir_state.h"

#include <cstdint>

struct sigFirTapCopies {
    bool replicated;
    bool reversed;
};

constexpr sigFirTapCopies sigFirTapCopiesOf(int slot) {
    return {slot >= 1 && slot <= 5, slot == 4 || slot == 5};
}

// h, the distance between two reversed copies less one float.
constexpr std::int64_t sigFirReversedStride(int tapsLen) { return (tapsLen + 6) & ~3; }

// Whether a state holds the four reversed copies: only then is its taps area
// longer than one copy's (16·h > 4·tapsLen rounded up to 16), so the state's own
// offsets tell, whichever slot processes it.
inline bool sigFirHasReversedCopies(const sigFirState* state) {
    return std::int64_t{state->delay} - state->taps == 16 * sigFirReversedStride(state->tapsLen);
}

inline const float* sigFirReversedCopy(const sigFirState* state, int j) {
    return state->tapsArea() + j * (sigFirReversedStride(state->tapsLen) + 1);
}
