// IIR set-up: sizing, laying a state out in a caller's buffer or in a library
// block, normalising the coefficients by a0, and releasing.
//
// A zero a0 is refused before anything is allocated or written, so a failed
// set-up never leaves a half-built record or a stale state pointer behind.
#include "sigproc/filters/iir.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/core/memory.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/fill.h"

#include <limits>

namespace {

std::int64_t tapsAreaBytes(std::int64_t order) { return (8 * order + 19) & ~std::int64_t{15}; }
std::int64_t delayAreaBytes(std::int64_t order) { return (4 * order + 19) & ~std::int64_t{15}; }

// a0 follows b0..bN; either sign of zero divides by zero, a NaN does not.
bool leadingDenominatorIsZero(const float* taps, std::int64_t order) {
    return taps[order + 1] == 0.0f;
}

// What both set-ups refuse before they allocate or write anything: a size the
// 32-bit count cannot carry, then a zero a0. Gives the size on success.
int checkSetUp(const float* taps, int order, std::uint32_t id, int* pSize) {
    if (const int status = sigIirStateSize_32f(order, pSize, id); status != sigOk) return status;
    return leadingDenominatorIsZero(taps, order) ? sigErrDivByZero : sigOk;
}

// Lays the words and the delay line of a state that passed checkSetUp out in
// a block that holds it; the taps are the normaliser's.
sigIirState* layOut(unsigned char* buffer, int order, const float* dlyLine, std::uint32_t id) {
    auto* state = reinterpret_cast<sigIirState*>(sigStateBase(buffer));
    const auto tapsOffset = static_cast<std::uint32_t>(sigIirHeaderBytes);
    state->taps = tapsOffset;
    state->delay = tapsOffset + static_cast<std::uint32_t>(tapsAreaBytes(order));
    state->id = id;
    state->order = order;
    state->sectionCount = 0;
    state->allocated = 0;

    // The caller's words are transposed-form state words, taken as they are.
    float* delay = state->delayArea();
    if (dlyLine != nullptr) {
        sigCopy_32f_generic(dlyLine, delay, order);
    } else {
        sigZero_32f_generic(delay, order);
    }
    delay[order] = 0.0f;
    return state;
}

} // namespace

// Multiplies by the reciprocal of a0, formed once in double, and rounds each
// product to single precision once, when it is stored.
int sigIirNormalizeTaps_32f(const float* taps, sigIirState* state) {
    const std::int64_t n = state->order;
    if (leadingDenominatorIsZero(taps, n)) return sigErrDivByZero;
    const double reciprocal = 1.0 / static_cast<double>(taps[n + 1]);
    float* out = state->tapsArea();
    out[0] = static_cast<float>(taps[0] * reciprocal);
    for (std::int64_t i = 1; i <= n; ++i) {
        out[i] = static_cast<float>(taps[i] * reciprocal);
        out[n + i] = static_cast<float>(taps[n + 1 + i] * reciprocal);
    }
    return sigOk;
}

int sigIirStateSize_32f(int order, int* pSize, std::uint32_t /*id*/) {
    const std::int64_t size = sigIirHeaderBytes + tapsAreaBytes(order) + delayAreaBytes(order) + 16;
    if (size > std::numeric_limits<int>::max()) return sigErrIirOrder;
    *pSize = static_cast<int>(size);
    return sigOk;
}

int sigIirInitState_32f(sigIirState** pState, const float* taps, int order, const float* dlyLine,
                        unsigned char* buffer, std::uint32_t id) {
    int size = 0;
    if (const int status = checkSetUp(taps, order, id, &size); status != sigOk) return status;
    sigIirState* state = layOut(buffer, order, dlyLine, id);
    *pState = state;
    return sigIirNormalizeTaps_32f(taps, state);
}

int sigIirInitAllocState_32f(sigIirState** pState, const float* taps, int order,
                             const float* dlyLine, std::uint32_t id) {
    int size = 0;
    if (const int status = checkSetUp(taps, order, id, &size); status != sigOk) return status;
    auto* block = static_cast<unsigned char*>(sigMalloc_8u(size));
    if (block == nullptr) return sigErrNoMemory;

    // Library blocks are 32-byte aligned, so the record starts at the block.
    sigIirState* state = layOut(block, order, dlyLine, id);
    state->allocated = 1;
    *pState = state;
    return sigIirNormalizeTaps_32f(taps, state);
}

int sigIirGetStateSize_32f_generic(int order, int* pSize) {
    if (pSize == nullptr) return sigErrNullPtr;
    if (order <= 0) return sigErrIirOrder;
    return sigIirStateSize_32f(order, pSize, sigIirIdDirect);
}

int sigIirInit_32f_generic(sigIirState** pState, const float* taps, int order, const float* dlyLine,
                           unsigned char* buffer) {
    if (taps == nullptr || pState == nullptr || buffer == nullptr) return sigErrNullPtr;
    if (order <= 0) return sigErrIirOrder;
    return sigIirInitState_32f(pState, taps, order, dlyLine, buffer, sigIirIdDirect);
}

int sigIirInitAlloc_32f_generic(sigIirState** pState, const float* taps, int order,
                                const float* dlyLine) {
    if (taps == nullptr || pState == nullptr) return sigErrNullPtr;
    if (order <= 0) return sigErrIirOrder;
    return sigIirInitAllocState_32f(pState, taps, order, dlyLine, sigIirIdDirect);
}

// The id word stays as it was: a freed record is gone, a caller's one is left alone.
int sigIirFree_32f_generic(sigIirState* state) {
    if (state == nullptr) return sigErrNullPtr;
    if (state->id != sigIirIdDirect && state->id != sigIirIdBiquad) return sigErrStateMismatch;
    if (state->allocated != 0) sigFree_generic(state);
    return sigOk;
}

int sigIirInitAlloc_32f(sigIirState** pState, const float* taps, int order, const float* dlyLine) {
    return sigDispatch(sigDispatchTableA.iirInitAlloc_32f, pState, taps, order, dlyLine);
}

int sigIirFree_32f(sigIirState* state) { return sigDispatch(sigDispatchTableA.iirFree_32f, state); }
