// The direct path of single-rate FIR processing: every output is the dot
// product of the reversed taps with the window of input that ends at it.
//
// Only the head of a call runs through the delay line (the history followed by
// headLen new samples); the new history is stored next, and the rest of the
// outputs read the source in place.
#include "sigproc/filters/fir.h"

#include "sigproc/filters/fir_dot_lanes.h"
#include "sigproc/vector/fill.h"

namespace {

void dotRunOfState(const sigFirState* state, const float* w, float* y, std::int64_t count) {
    sigFirDotRuns.select()(state->tapsArea(), state->tapsLen, w, y, count);
}

} // namespace

void sigFirProcessDirect_32f(sigFirState* state, const float* src, float* dst, int numIters) {
    sigFirProcessDirectBy_32f(state, src, dst, numIters, dotRunOfState);
}

void sigFirProcessDirectBy_32f(sigFirState* state, const float* src, float* dst, int numIters,
                               sigFirDirectRun* run) {
    const int tapsLen = state->tapsLen;
    const int head = state->headLen;
    const int headOutputs = head - 1; // tapsLen rounded up to a multiple of 4
    float* delay = state->delayArea();
    float* history = delay + state->delayIndex;
    state->delayIndex = 0;

    // Short call: history and input together in the delay line.
    if (numIters <= head) {
        sigCopy_32f_generic(src, history + tapsLen, numIters);
        run(state, history + 1, dst, numIters);
        sigMove_32f_generic(history + numIters, delay, tapsLen);
        return;
    }

    // Long call: the head windows reach back into the history; from output
    // headOutputs on (>= tapsLen) every window lies inside the source.
    sigCopy_32f_generic(src, history + tapsLen, head);
    run(state, history + 1, dst, headOutputs);
    sigCopy_32f_generic(src + (numIters - tapsLen), delay, tapsLen);
    run(state, src + (headOutputs + 1 - tapsLen), dst + headOutputs, numIters - headOutputs);
}
