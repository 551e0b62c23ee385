// Direct-path kernels of slots 1 to 5 and the slots' block-processing members.
#include "sigproc/filters/fir_direct_slots.h"

#include "sigproc/filters/fir_dot_lanes.h"
#include "sigproc/filters/fir_multirate_slots.h"
#include "sigproc/filters/fir_tap_copies.h"
#include "sigproc/sigproc.h"

#include <cstdint>
#include <xmmintrin.h>

namespace {

#define SIG_INLINE inline __attribute__((always_inline))

// Four outputs per pass: lane r of the sum holds output i + r, and the tap
// that pairs with the window's sample k (the replicated taps keep their own
// order, so it is tap L - 1 - k), in all four lanes, meets w[i + k ... i + k + 3].
SIG_INLINE void replicatedRun(const sigFirState* state, const float* w, float* y,
                              std::int64_t count) {
    const int tapsLen = state->tapsLen;
    // Walked backwards: poly[-4·k] is the tap of sample k.
    const float* poly = sigStateArea<float>(state, state->polyTaps) + 4 * (tapsLen - 1);
    std::int64_t i = 0;
    // Four sums in flight, so that the additions' latency is hidden.
    for (; i + 16 <= count; i += 16) {
        __m128 s0 = _mm_setzero_ps();
        __m128 s1 = _mm_setzero_ps();
        __m128 s2 = _mm_setzero_ps();
        __m128 s3 = _mm_setzero_ps();
        for (int k = 0; k < tapsLen; ++k) {
            const __m128 tap = _mm_load_ps(poly - 4 * k);
            s0 = _mm_add_ps(s0, _mm_mul_ps(tap, _mm_loadu_ps(w + i + k)));
            s1 = _mm_add_ps(s1, _mm_mul_ps(tap, _mm_loadu_ps(w + i + 4 + k)));
            s2 = _mm_add_ps(s2, _mm_mul_ps(tap, _mm_loadu_ps(w + i + 8 + k)));
            s3 = _mm_add_ps(s3, _mm_mul_ps(tap, _mm_loadu_ps(w + i + 12 + k)));
        }
        _mm_storeu_ps(y + i, s0);
        _mm_storeu_ps(y + i + 4, s1);
        _mm_storeu_ps(y + i + 8, s2);
        _mm_storeu_ps(y + i + 12, s3);
    }
    for (; i + 8 <= count; i += 8) {
        __m128 lo = _mm_setzero_ps();
        __m128 hi = _mm_setzero_ps();
        for (int k = 0; k < tapsLen; ++k) {
            const __m128 tap = _mm_load_ps(poly - 4 * k);
            lo = _mm_add_ps(lo, _mm_mul_ps(tap, _mm_loadu_ps(w + i + k)));
            hi = _mm_add_ps(hi, _mm_mul_ps(tap, _mm_loadu_ps(w + i + 4 + k)));
        }
        _mm_storeu_ps(y + i, lo);
        _mm_storeu_ps(y + i + 4, hi);
    }
    for (; i + 4 <= count; i += 4) {
        __m128 sum = _mm_setzero_ps();
        for (int k = 0; k < tapsLen; ++k) {
            sum = _mm_add_ps(sum, _mm_mul_ps(_mm_load_ps(poly - 4 * k), _mm_loadu_ps(w + i + k)));
        }
        _mm_storeu_ps(y + i, sum);
    }
    for (; i < count; ++i) {
        float sum = 0.0f;
        for (int k = 0; k < tapsLen; ++k) sum += poly[-4 * k] * w[i + k];
        y[i] = sum;
    }
}

// One window's sum, as four lane sums and a scalar for the window's edges.
// The copy is chosen by the window's position within a 16-byte line, so taps
// and samples from the first whole line on are loaded aligned; only the
// window's samples are read, never a neighbour's, so a stale infinity outside
// it cannot meet a tap.
SIG_INLINE __m128 windowLanes(const sigFirState* state, const float* window, float* edge) {
    const int tapsLen = state->tapsLen;
    const int misalign = static_cast<int>((reinterpret_cast<std::uintptr_t>(window) >> 2) & 3);
    const float* taps = sigFirReversedCopy(state, misalign);
    const int first = (4 - misalign) & 3; // first k whose sample starts a line
    float sum = 0.0f;
    for (int k = 0; k < first; ++k) sum += taps[k] * window[k];
    // Two sums, so that two additions are in flight at once.
    __m128 even = _mm_setzero_ps();
    __m128 odd = _mm_setzero_ps();
    int k = first;
    for (; k + 8 <= tapsLen; k += 8) {
        even = _mm_add_ps(even, _mm_mul_ps(_mm_load_ps(taps + k), _mm_load_ps(window + k)));
        odd = _mm_add_ps(odd, _mm_mul_ps(_mm_load_ps(taps + k + 4), _mm_load_ps(window + k + 4)));
    }
    if (k + 4 <= tapsLen) {
        even = _mm_add_ps(even, _mm_mul_ps(_mm_load_ps(taps + k), _mm_load_ps(window + k)));
        k += 4;
    }
    for (; k < tapsLen; ++k) sum += taps[k] * window[k];
    *edge = sum;
    return _mm_add_ps(even, odd);
}

// Four windows' lane sums are added across by one transpose, four outputs a store.
SIG_INLINE void reversedRun(const sigFirState* state, const float* w, float* y,
                            std::int64_t count) {
    std::int64_t i = 0;
    for (; i + 4 <= count; i += 4) {
        alignas(16) float edges[4];
        __m128 l0 = windowLanes(state, w + i, &edges[0]);
        __m128 l1 = windowLanes(state, w + i + 1, &edges[1]);
        __m128 l2 = windowLanes(state, w + i + 2, &edges[2]);
        __m128 l3 = windowLanes(state, w + i + 3, &edges[3]);
        _MM_TRANSPOSE4_PS(l0, l1, l2, l3);
        const __m128 lanes = _mm_add_ps(_mm_add_ps(l0, l1), _mm_add_ps(l2, l3));
        _mm_storeu_ps(y + i, _mm_add_ps(lanes, _mm_load_ps(edges)));
    }
    for (; i < count; ++i) {
        float edge = 0.0f;
        alignas(16) float part[4];
        _mm_store_ps(part, windowLanes(state, w + i, &edge));
        y[i] = ((part[0] + part[2]) + (part[1] + part[3])) + edge;
    }
}

void genericRun(const sigFirState* state, const float* w, float* y, std::int64_t count) {
    sigFirDotRuns.select()(state->tapsArea(), state->tapsLen, w, y, count);
}

// A slot's multi-rate routines, by the state's mode.
struct MultiRateRoutines {
    int (*dense)(sigFirState*, const float*, float*, int);
    int (*down)(sigFirState*, const float*, float*, int);
    int (*indexed)(sigFirState*, const float*, float*, int);
};
constexpr MultiRateRoutines kSseMultiRate{sigFirMrProcessDense_32f_sse, sigFirMrProcessDown_32f_sse,
                                          sigFirMrProcessIndexed_32f_sse};
constexpr MultiRateRoutines kSse2MultiRate{
    sigFirMrProcessDense_32f_sse2, sigFirMrProcessDown_32f_sse2, sigFirMrProcessIndexed_32f_sse2};

// The generic entry's checks and paths, with the slot's kernels.
int processInSlot(const float* src, float* dst, int numIters, sigFirState* state,
                  const MultiRateRoutines& multiRate,
                  sigFirDirectRun* (*kernelOf)(const sigFirState*)) {
    if (state == nullptr || src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (numIters <= 0) return sigErrLength;
    if (state->id == sigFirIdMultiRate) {
        switch (state->mode) {
        case 1:
            return multiRate.dense(state, src, dst, numIters);
        case 2:
            return multiRate.down(state, src, dst, numIters);
        case 3:
            return multiRate.indexed(state, src, dst, numIters);
        default:
            return sigErrStateMismatch;
        }
    }
    if (state->id != sigFirIdSingleRate) return sigErrStateMismatch;
    if (numIters >= sigFirOverlapMinBlock && state->fftLen > 0)
        return sigFirProcessFft_32f(state, src, dst, numIters);
    sigFirProcessDirectBy_32f(state, src, dst, numIters, kernelOf(state));
    return sigOk;
}

} // namespace

#define SIG_FIR_PROCESS_SLOT(suffix, isa, withReversed, multiRate)                                 \
    namespace {                                                                                    \
    __attribute__((target(isa))) void replicatedRun_##suffix(const sigFirState* s, const float* w, \
                                                             float* y, std::int64_t n) {           \
        replicatedRun(s, w, y, n);                                                                 \
    }                                                                                              \
    __attribute__((target(isa))) void reversedRun_##suffix(const sigFirState* s, const float* w,   \
                                                           float* y, std::int64_t n) {             \
        reversedRun(s, w, y, n);                                                                   \
    }                                                                                              \
    sigFirDirectRun* kernel_##suffix(const sigFirState* state) {                                   \
        if ((withReversed) && state->tapsLen >= sigFirReversedMinTaps) {                           \
            return sigFirHasReversedCopies(state) ? reversedRun_##suffix : genericRun;             \
        }                                                                                          \
        return state->polyTaps != 0 ? replicatedRun_##suffix : genericRun;                         \
    }                                                                                              \
    }                                                                                              \
    __attribute__((target(isa))) int sigFirProcess_32f_##suffix(                                   \
        const float* src, float* dst, int numIters, sigFirState* state) {                          \
        return processInSlot(src, dst, numIters, state, multiRate, kernel_##suffix);               \
    }

SIG_FIR_PROCESS_SLOT(sse, "sse", false, kSseMultiRate)
SIG_FIR_PROCESS_SLOT(sse2, "sse2", false, kSse2MultiRate)
SIG_FIR_PROCESS_SLOT(sse3, "sse3", false, kSse2MultiRate)
SIG_FIR_PROCESS_SLOT(ssse3, "ssse3", true, kSse2MultiRate)
SIG_FIR_PROCESS_SLOT(sse41, "sse4.1", true, kSse2MultiRate)

#undef SIG_FIR_PROCESS_SLOT
