// Multi-rate FIR states in a caller's buffer: the size query, the set-up of
// both layouts and the choice between them. Both factors 1 make a
// single-rate state instead.
//
// Every size and table index is computed in 64 bits; a state whose size the
// 32-bit count cannot carry is refused with sigErrFirLength before anything
// is written.
#include "sigproc/filters/fir_multirate.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/filters/fir.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/fill.h"

#include <algorithm>
#include <limits>

namespace {

// The state's counts and the byte offsets of its areas from the record's start.
struct Plan {
    std::int64_t q;    // past inputs kept: ceil(tapsLen / up)
    std::int64_t rows; // E: length of one tap row, a multiple of up >= tapsLen + 3·down
    std::int64_t headIn, headOut;
    std::int64_t taps, poly, phase, delay, spare, end;
};

constexpr std::int64_t kBaseSlack = 16;

std::int64_t ceilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

Plan planFor(sigFirMrLayout layout, std::int64_t tapsLen, std::int64_t up, std::int64_t down) {
    const bool dense = layout == sigFirMrLayout::Dense;
    Plan p{};
    p.q = ceilDiv(tapsLen, up);
    p.rows = ceilDiv(tapsLen + 3 * down, up) * up;
    // The head block runs against the delay line: more inputs than one
    // window spans, and whole cycles of outputs.
    const std::int64_t window = dense ? p.rows / up : p.q;
    p.headIn = (window / (4 * down) + 1) * 4 * down + 1;
    p.headOut = up * ceilDiv(p.q, down);
    while (p.headOut % (4 * up) != 0) {
        p.headOut += up;
        p.headIn += down;
    }

    sigAreaCursor cursor(sigFirHeaderBytes);
    p.taps = cursor.take(sigAlign16(4 * tapsLen));
    p.poly = cursor.take(16 * p.rows);
    p.phase = cursor.take(dense ? (4 * up + 19) & ~std::int64_t{15} : 16 * up + 16);
    // At least q + headIn + 1 floats: the history, the head block and one more.
    p.delay = cursor.take((4 * (p.q + p.headIn) + 19) & ~std::int64_t{15});
    p.spare = cursor.take(4 * std::max(dense ? 4 * p.rows : 8 * p.rows, std::int64_t{4096}));
    p.end = cursor.end();
    return p;
}

bool fitsSize(const Plan& plan) { return plan.end + kBaseSlack <= std::numeric_limits<int>::max(); }

// The phase walk: for each output phase k of a cycle (4·up outputs, 4·down
// inputs), the delay position t of the first sample its taps meet and the row
// position vStart of the tap that meets it; the taps of phase k are the row
// positions vStart, vStart + up, ... Calls visit(k, t, vStart) and returns
// the position at which the next cycle starts.
template <typename Visit>
std::int64_t walkPhases(std::int64_t tapsLen, std::int64_t up, std::int64_t upPhase,
                        std::int64_t down, std::int64_t downPhase, Visit visit) {
    std::int64_t a = (tapsLen - 1) % up + upPhase;
    std::int64_t t = 1;
    if (a >= up) {
        a -= up;
        t = 0;
    }
    // a advances by up while t advances by one, until a reaches u.
    auto reach = [&](std::int64_t u) {
        if (a >= u) return;
        const std::int64_t steps = ceilDiv(u - a, up);
        a += steps * up;
        t += steps;
    };
    for (std::int64_t k = 0; k < up; ++k) {
        const std::int64_t u = downPhase + 4 * k * down;
        reach(u);
        visit(k, t, a - u);
    }
    reach(4 * up * down + downPhase);
    return t;
}

sigFirState* writeWords(unsigned char* buffer, const Plan& plan, sigFirMrLayout layout, int tapsLen,
                        int up, int upPhase, int down, int downPhase, std::uint32_t id) {
    auto* state = reinterpret_cast<sigFirState*>(sigStateBase(buffer));
    auto offset = [](std::int64_t bytes) { return static_cast<std::uint32_t>(bytes); };
    state->id = id;
    state->taps = offset(plan.taps);
    state->delay = offset(plan.delay);
    state->tapsLen = tapsLen;
    state->up = up;
    state->headLen = static_cast<std::int32_t>(plan.headIn);
    state->down = down;
    state->headOut = static_cast<std::int32_t>(plan.headOut);
    state->fftSpec = 0;
    state->fftTaps = 0;
    state->fftLen = -1;
    state->delayIndex = 0;
    state->phaseTable = offset(plan.phase);
    state->polyTaps = offset(plan.poly);
    if (layout == sigFirMrLayout::Dense) {
        state->rowLen = static_cast<std::int32_t>(plan.rows / up);
        state->mode = 1;
    } else {
        state->mode = up == 1 ? 2 : 3;
    }
    state->delayLen = static_cast<std::int32_t>(plan.q);
    state->spare = offset(plan.spare);
    state->allocated = 0;
    state->upPhase = upPhase;
    state->downPhase = downPhase;
    return state;
}

// The taps reversed, and the delay line: q past inputs (newest first in
// dlyLine) stored oldest first, the head area behind them zeroed.
void writeTapsAndHistory(sigFirState* state, const Plan& plan, const float* taps, int tapsLen,
                         const float* dlyLine) {
    float* reversed = state->tapsArea();
    for (int k = 0; k < tapsLen; ++k) reversed[k] = taps[tapsLen - 1 - k];
    float* delay = state->delayArea();
    sigZeroBytes_8u(delay, 4 * (plan.q + plan.headIn + 1));
    if (dlyLine != nullptr) {
        for (std::int64_t k = 0; k < plan.q; ++k) delay[k] = dlyLine[plan.q - 1 - k];
    }
}

// Rows j = 0..3 hold the reversed taps from position j·down on; interleaved
// tap by tap, each phase takes every up-th position of them, R groups of four.
void buildDense(sigFirState* state, const Plan& plan, int tapsLen, int upPhase, int downPhase) {
    const std::int64_t up = state->up, down = state->down, rows = plan.rows;
    float* poly = sigStateArea<float>(state, state->polyTaps);
    float* interleaved = sigStateArea<float>(state, state->spare);
    sigZeroBytes_8u(poly, 16 * rows);
    for (std::int64_t j = 0; j < 4; ++j)
        sigCopyBytes_8u(state->tapsArea(), poly + j * (rows + down), 4 * std::int64_t{tapsLen});
    for (std::int64_t v = 0; v < rows; ++v) {
        for (std::int64_t j = 0; j < 4; ++j) interleaved[4 * v + j] = poly[j * rows + v];
    }

    auto* phases = sigStateArea<std::int32_t>(state, state->phaseTable);
    float* next = poly;
    const std::int64_t end =
        walkPhases(tapsLen, up, upPhase, down, downPhase,
                   [&](std::int64_t k, std::int64_t t, std::int64_t vStart) {
                       phases[k] = static_cast<std::int32_t>(t);
                       for (std::int64_t v = vStart; v < rows; v += up, next += 4)
                           sigCopyBytes_8u(interleaved + 4 * v, next, 16);
                   });
    // Entry 0 stays the absolute start, entries 1 .. up-1 become the advances
    // from phase to phase, and entry up with entry 0 the advance from the last
    // phase to the next cycle.
    phases[up] = static_cast<std::int32_t>(end - phases[0]);
    for (std::int64_t k = up; k >= 1; --k) phases[k] -= phases[k - 1];
}

// For each phase and row, the caller's indices of the taps it meets, in delay
// order, and the delay position of the first; the taps are then laid out q
// to a row, four rows side by side, zeros where a row has fewer.
void buildIndexed(sigFirState* state, const Plan& plan, const float* taps, int tapsLen, int upPhase,
                  int downPhase) {
    const std::int64_t up = state->up, down = state->down, rows = plan.rows, q = plan.q;
    auto* phases = sigStateArea<std::int32_t>(state, state->phaseTable);
    auto* list = sigStateArea<std::int32_t>(state, state->spare);
    std::int32_t* index = list + 4 * rows;
    sigSetKernel_32s(-1, phases, 4 * up);
    sigSetKernel_32s(-1, index, 4 * rows);
    sigSetKernel_32s(-1, list, 4 * rows);
    for (std::int64_t j = 0; j < 4; ++j) {
        for (std::int64_t b = 0; b < tapsLen; ++b)
            index[j * rows + j * down + b] = static_cast<std::int32_t>(tapsLen - 1 - b);
    }

    std::int64_t first = 0;
    const std::int64_t end =
        walkPhases(tapsLen, up, upPhase, down, downPhase,
                   [&](std::int64_t k, std::int64_t t, std::int64_t vStart) {
                       if (k == 0) first = t;
                       for (std::int64_t m = 0; m < 4; ++m) {
                           std::int32_t* out = list + m * up * q + k * q;
                           std::int32_t& start = phases[4 * k + m];
                           std::int64_t b = t;
                           for (std::int64_t v = vStart; v < rows; v += up, ++b) {
                               const std::int32_t idx = index[m * rows + v];
                               if (idx < 0) continue;
                               *out++ = idx;
                               if (start == -1) start = static_cast<std::int32_t>(b);
                           }
                       }
                   });
    if (phases[0] == -1) phases[0] = static_cast<std::int32_t>(first);
    phases[4 * up] = static_cast<std::int32_t>(end - phases[0]);
    // A row that meets no tap in its phase reads from where the one before it does.
    for (std::int64_t e = 1; e < 4 * up; ++e) {
        if (phases[e] == -1) phases[e] = phases[e - 1];
    }

    const std::int64_t n = up * q;
    for (std::int64_t i = 0; i < n; ++i) {
        for (std::int64_t m = 0; m < 4; ++m) index[4 * i + m] = list[m * n + i];
    }
    float* poly = sigStateArea<float>(state, state->polyTaps);
    for (std::int64_t i = 0; i < 4 * n; ++i) poly[i] = index[i] >= 0 ? taps[index[i]] : 0.0f;
}

// The body of both size queries.
int stateSize(sigFirMrLayout layout, int tapsLen, int up, int down, int* pSize) {
    const Plan plan = planFor(layout, tapsLen, up, down);
    if (!fitsSize(plan)) return sigErrFirLength;
    *pSize = static_cast<int>(plan.end + kBaseSlack);
    return sigOk;
}

// The body of both set-ups.
sigFirState* initState(sigFirMrLayout layout, const float* taps, int tapsLen, int up, int upPhase,
                       int down, int downPhase, const float* dlyLine, int* pStatus,
                       unsigned char* buffer, std::uint32_t id) {
    const Plan plan = planFor(layout, tapsLen, up, down);
    if (!fitsSize(plan)) {
        *pStatus = sigErrFirLength;
        return nullptr;
    }
    sigFirState* state =
        writeWords(buffer, plan, layout, tapsLen, up, upPhase, down, downPhase, id);
    writeTapsAndHistory(state, plan, taps, tapsLen, dlyLine);
    if (layout == sigFirMrLayout::Dense) {
        buildDense(state, plan, tapsLen, upPhase, downPhase);
    } else {
        buildIndexed(state, plan, taps, tapsLen, upPhase, downPhase);
    }
    *pStatus = sigOk;
    return state;
}

} // namespace

sigFirMrLayout sigFirMrChooseLayout(int tapsLen, int up, int down) {
    const double share = static_cast<double>(tapsLen) /
                         (static_cast<double>(tapsLen) + 3.0 * static_cast<double>(down));
    const double denseAbove = up == 1 ? 0.5 : 0.3;
    return share > denseAbove ? sigFirMrLayout::Dense : sigFirMrLayout::Indexed;
}

int sigFirMrStateSizeDense_32f(int tapsLen, int up, int down, int* pSize) {
    return stateSize(sigFirMrLayout::Dense, tapsLen, up, down, pSize);
}

int sigFirMrStateSizeIndexed_32f(int tapsLen, int up, int down, int* pSize) {
    return stateSize(sigFirMrLayout::Indexed, tapsLen, up, down, pSize);
}

sigFirState* sigFirMrInitDense_32f(const float* taps, int tapsLen, int up, int upPhase, int down,
                                   int downPhase, const float* dlyLine, int* pStatus,
                                   unsigned char* buffer, std::uint32_t id) {
    return initState(sigFirMrLayout::Dense, taps, tapsLen, up, upPhase, down, downPhase, dlyLine,
                     pStatus, buffer, id);
}

sigFirState* sigFirMrInitIndexed_32f(const float* taps, int tapsLen, int up, int upPhase, int down,
                                     int downPhase, const float* dlyLine, int* pStatus,
                                     unsigned char* buffer, std::uint32_t id) {
    return initState(sigFirMrLayout::Indexed, taps, tapsLen, up, upPhase, down, downPhase, dlyLine,
                     pStatus, buffer, id);
}

int sigFirMrGetStateSize_32f_generic(int tapsLen, int up, int down, int* pSize) {
    if (pSize == nullptr) return sigErrNullPtr;
    if (tapsLen <= 0) return sigErrFirLength;
    if (up <= 0 || down <= 0) return sigErrMrFactor;
    if (up == 1 && down == 1) return sigFirGetStateSize_32f_generic(tapsLen, pSize);
    if (sigFirMrChooseLayout(tapsLen, up, down) == sigFirMrLayout::Dense)
        return sigFirMrStateSizeDense_32f(tapsLen, up, down, pSize);
    return sigFirMrStateSizeIndexed_32f(tapsLen, up, down, pSize);
}

int sigFirMrInit_32f_generic(sigFirState** pState, const float* taps, int tapsLen, int up,
                             int upPhase, int down, int downPhase, const float* dlyLine,
                             unsigned char* buffer) {
    if (pState == nullptr || taps == nullptr || buffer == nullptr) return sigErrNullPtr;
    if (tapsLen <= 0) return sigErrFirLength;
    if (up <= 0 || down <= 0) return sigErrMrFactor;
    if (upPhase < 0 || upPhase >= up || downPhase < 0 || downPhase >= down) return sigErrMrPhase;
    if (up == 1 && down == 1) {
        return sigFirInit_32f_generic(pState, taps, tapsLen, dlyLine, buffer);
    }
    const auto init = sigFirMrChooseLayout(tapsLen, up, down) == sigFirMrLayout::Dense
                          ? sigFirMrInitDense_32f
                          : sigFirMrInitIndexed_32f;
    int status = sigOk;
    sigFirState* state = init(taps, tapsLen, up, upPhase, down, downPhase, dlyLine, &status, buffer,
                              sigFirIdMultiRate);
    if (status == sigOk) *pState = state;
    return status;
}

int sigFirMrGetStateSize_32f(int tapsLen, int up, int down, int* pSize) {
    return sigDispatch(sigDispatchTable.firMrGetStateSize_32f, tapsLen, up, down, pSize);
}

int sigFirMrInit_32f(sigFirState** pState, const float* taps, int tapsLen, int up, int upPhase,
                     int down, int downPhase, const float* dlyLine, unsigned char* buffer) {
    return sigDispatch(sigDispatchTable.firMrInit_32f, pState, taps, tapsLen, up, upPhase, down,
                       downPhase, dlyLine, buffer);
}
