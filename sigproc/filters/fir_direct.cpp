// The direct path of single-rate FIR processing: every output is the dot
// product of the reversed taps with the window of input that ends at it.
//
// Only the head of a call runs through the delay line (the history followed by
// headLen new samples); the new history is stored next, and the rest of the
// outputs read the source in place.
#include "sigproc/filters/fir.h"

#include "sigproc/filters/double_lanes.h"
#include "sigproc/vector/fill.h"

namespace {

using Lanes = sigDoubleLanes;

// Outputs y[0 .. 4·Quads - 1] of one pass over the taps: y[i] = sum over k of
// t[k]·w[i + k]. Each sum starts at 0 and adds the products in double, oldest
// sample first, and is rounded once when stored.
template <int Quads> void dotGroup(const float* t, int tapsLen, const float* w, float* y) {
    Lanes low[Quads] = {};
    Lanes high[Quads] = {};
    for (int k = 0; k < tapsLen; ++k) {
        const double tap = t[k];
        const Lanes c = {tap, tap};
#pragma GCC unroll 4
        for (int j = 0; j < Quads; ++j) {
            Lanes first, second;
            sigWidenQuad(w + k + 4 * j, first, second);
            low[j] += c * first;
            high[j] += c * second;
        }
    }
    for (int j = 0; j < Quads; ++j) {
        y[4 * j] = static_cast<float>(low[j][0]);
        y[4 * j + 1] = static_cast<float>(low[j][1]);
        y[4 * j + 2] = static_cast<float>(high[j][0]);
        y[4 * j + 3] = static_cast<float>(high[j][1]);
    }
}

void dotSingle(const float* t, int tapsLen, const float* w, float* y) {
    double sum = 0.0;
    for (int k = 0; k < tapsLen; ++k) sum += static_cast<double>(t[k]) * w[k];
    *y = static_cast<float>(sum);
}

// y[i] for i < count, up to sixteen outputs per pass over the taps.
void dotRun(const float* t, int tapsLen, const float* w, float* y, std::int64_t count) {
    std::int64_t i = 0;
    for (; i + 16 <= count; i += 16) dotGroup<4>(t, tapsLen, w + i, y + i);
    for (; i + 4 <= count; i += 4) dotGroup<1>(t, tapsLen, w + i, y + i);
    for (; i < count; ++i) dotSingle(t, tapsLen, w + i, y + i);
}

} // namespace

void sigFirProcessDirect_32f(sigFirState* state, const float* src, float* dst, int numIters) {
    const int tapsLen = state->tapsLen;
    const int head = state->headLen;
    const int headOutputs = head - 1; // tapsLen rounded up to a multiple of 4
    const float* taps = state->tapsArea();
    float* delay = state->delayArea();
    float* history = delay + state->delayIndex;
    state->delayIndex = 0;

    // Short call: history and input together in the delay line.
    if (numIters <= head) {
        sigCopy_32f_generic(src, history + tapsLen, numIters);
        dotRun(taps, tapsLen, history + 1, dst, numIters);
        sigMove_32f_generic(history + numIters, delay, tapsLen);
        return;
    }

    // Long call: the head windows reach back into the history; from output
    // headOutputs on (>= tapsLen) every window lies inside the source.
    sigCopy_32f_generic(src, history + tapsLen, head);
    dotRun(taps, tapsLen, history + 1, dst, headOutputs);
    sigCopy_32f_generic(src + (numIters - tapsLen), delay, tapsLen);
    dotRun(taps, tapsLen, src + (headOutputs + 1 - tapsLen), dst + headOutputs,
           numIters - headOutputs);
}
