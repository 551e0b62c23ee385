// Single-rate FIR states in a caller's buffer: the size query and the set-up.
//
// Sizes are computed in 64 bits; a tap count whose state could not be sized in
// the 32-bit count is refused with sigErrFirLength before anything is written.
// Once the arguments pass, set-up always succeeds: when the overlap path's FFT
// part cannot be made, the state filters on the direct path alone.
#include "sigproc/filters/fir.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/fft/real_fft.h"
#include "sigproc/fft/real_fft_ops.h"
#include "sigproc/sigproc.h"

#include <limits>

namespace {

// Bytes of rounding slack: the state starts at the buffer rounded up to 16.
constexpr std::int64_t kBaseSlack = 16;

// The overlap path's FFT of a state in a caller's buffer, as the FFT's size
// query gives it; no FFT part (fftLen 0) below 64 taps or when the query fails.
struct FftPart {
    const sigFftRealOps* ops = nullptr;
    int order = 0;
    int fftLen = 0;
    int specBytes = 0;
    int initBytes = 0;
    int workBytes = 0;
};

FftPart fftPartFor(int tapsLen, int fftSlot) {
    FftPart part;
    part.ops = &sigFftRealOpsOf(fftSlot);
    part.order = sigFirFftOrder(tapsLen);
    if (part.order == 0) return part;
    if (part.ops->getSize(part.order, sigFftScaleInv, 0, &part.specBytes, &part.initBytes,
                          &part.workBytes) == sigOk) {
        part.fftLen = 1 << part.order;
    }
    return part;
}

sigFirAreas areasFor(int tapsLen, const FftPart& part, int slot) {
    return sigFirPlanAreas(tapsLen, part.fftLen, part.specBytes, part.initBytes, part.workBytes,
                           slot);
}

bool fitsSize(const sigFirAreas& areas) {
    return areas.end + kBaseSlack <= std::numeric_limits<int>::max();
}

// Builds the FFT specification inside the state and the taps' spectrum with it.
// A failed build leaves no FFT part; a failed transform leaves the part unused.
void buildFftPart(sigFirState* state, const sigFirAreas& areas, const FftPart& part,
                  const float* taps) {
    auto* base = reinterpret_cast<unsigned char*>(state);
    sigFftSpec_R_32f* spec = nullptr;
    if (part.fftLen == 0 || part.ops->init(&spec, part.order, sigFftScaleInv, 0,
                                           base + areas.fftSpec, base + areas.fftInit) != sigOk) {
        sigFirClearFftPart(state);
        return;
    }
    state->fftSpec = sigStateOffset(state, spec);
    if (sigFirSetFftPart(state, areas, part.fftLen, part.workBytes, taps) != sigOk)
        state->fftLen = -1;
}

} // namespace

int sigFirStateSize_32f(int tapsLen, int* pSize, int fftSlot) {
    const sigFirAreas areas = areasFor(tapsLen, fftPartFor(tapsLen, fftSlot), fftSlot);
    if (!fitsSize(areas)) return sigErrFirLength;
    *pSize = static_cast<int>(areas.end + kBaseSlack);
    return sigOk;
}

int sigFirInitState_32f(sigFirState** pState, const float* taps, int tapsLen, const float* dlyLine,
                        unsigned char* buffer, std::uint32_t id, int fftSlot) {
    const FftPart part = fftPartFor(tapsLen, fftSlot);
    const sigFirAreas areas = areasFor(tapsLen, part, fftSlot);
    if (!fitsSize(areas)) return sigErrFirLength;

    auto* state = reinterpret_cast<sigFirState*>(sigStateBase(buffer));
    *pState = state;
    sigFirWriteSingleRate(state, areas, taps, tapsLen, dlyLine, id, part.workBytes);
    sigFirWriteTapCopies(state, areas, taps, tapsLen, fftSlot);
    buildFftPart(state, areas, part, taps);
    return sigOk;
}

int sigFirGetStateSizeFor_32f(int tapsLen, int* pSize, int fftSlot) {
    if (pSize == nullptr) return sigErrNullPtr;
    if (tapsLen <= 0) return sigErrFirLength;
    return sigFirStateSize_32f(tapsLen, pSize, fftSlot);
}

int sigFirInitFor_32f(sigFirState** pState, const float* taps, int tapsLen, const float* dlyLine,
                      unsigned char* buffer, int fftSlot) {
    if (pState == nullptr || taps == nullptr || buffer == nullptr) return sigErrNullPtr;
    if (tapsLen <= 0) return sigErrFirLength;
    return sigFirInitState_32f(pState, taps, tapsLen, dlyLine, buffer, sigFirIdSingleRate, fftSlot);
}

int sigFirGetStateSize_32f_generic(int tapsLen, int* pSize) {
    return sigFirGetStateSizeFor_32f(tapsLen, pSize, 0);
}

int sigFirInit_32f_generic(sigFirState** pState, const float* taps, int tapsLen,
                           const float* dlyLine, unsigned char* buffer) {
    return sigFirInitFor_32f(pState, taps, tapsLen, dlyLine, buffer, 0);
}

int sigFirGetStateSize_32f(int tapsLen, int* pSize) {
    return sigDispatch(sigDispatchTable.firGetStateSize_32f, tapsLen, pSize);
}

int sigFirInit_32f(sigFirState** pState, const float* taps, int tapsLen, const float* dlyLine,
                   unsigned char* buffer) {
    return sigDispatch(sigDispatchTable.firInit_32f, pState, taps, tapsLen, dlyLine, buffer);
}
