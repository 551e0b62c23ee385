// Single-rate FIR states in a library block, and their release.
//
// The block holds the state's areas but not the overlap path's FFT
// specification: for filters of 64 taps or more that is a library object of
// its own, owned by the state. Every step that can fail runs before the
// caller's pointer is written, and a failure releases what was made before it.
#include "sigproc/filters/fir.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/core/memory.h"
#include "sigproc/fft/real_fft.h"
#include "sigproc/fft/real_fft_ops.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/fill.h"

#include <limits>
#include <utility>

namespace {

bool fitsSize(const sigFirAreas& areas) { return areas.end <= std::numeric_limits<int>::max(); }

// Owns a specification until it is handed to the finished state.
class SpecOwner {
public:
    SpecOwner() = default;
    SpecOwner(const SpecOwner&) = delete;
    SpecOwner& operator=(const SpecOwner&) = delete;
    ~SpecOwner() {
        if (spec_ != nullptr) sigFftFree_R_32f_generic(spec_);
    }
    sigFftSpec_R_32f** out() { return &spec_; }
    sigFftSpec_R_32f* get() const { return spec_; }
    sigFftSpec_R_32f* release() { return std::exchange(spec_, nullptr); }

private:
    sigFftSpec_R_32f* spec_ = nullptr;
};

} // namespace

int sigFirInitAllocState_32f(sigFirState** pState, const float* taps, int tapsLen,
                             const float* dlyLine, std::uint32_t id, int fftSlot) {
    const int order = sigFirFftOrder(tapsLen);
    const std::int64_t fftLen = order > 0 ? std::int64_t{1} << order : 0;
    // Refuse a tap count whose block could never be sized before anything is made.
    if (!fitsSize(sigFirPlanAreas(tapsLen, fftLen, 0, 0, 0, fftSlot))) return sigErrFirLength;

    SpecOwner spec;
    int workBytes = 0;
    if (fftLen > 0) {
        if (const int status =
                sigFftRealOpsOf(fftSlot).initAlloc(spec.out(), order, sigFftScaleInv, 0);
            status != sigOk) {
            return status;
        }
        if (const int status = sigFftGetBufSize_R_32f(spec.get(), &workBytes); status != sigOk) {
            return status;
        }
    }
    const sigFirAreas areas = sigFirPlanAreas(tapsLen, fftLen, 0, 0, workBytes, fftSlot);
    if (!fitsSize(areas)) return sigErrFirLength;

    // Library blocks are 32-byte aligned: the record starts at the block.
    auto* block = static_cast<unsigned char*>(sigMalloc_8u(static_cast<int>(areas.end)));
    if (block == nullptr) return sigErrNoMemory;
    sigZeroBytes_8u(block, sigFirHeaderBytes);
    auto* state = reinterpret_cast<sigFirState*>(block);
    sigFirWriteSingleRate(state, areas, taps, tapsLen, dlyLine, id, workBytes);
    sigFirWriteTapCopies(state, areas, taps, tapsLen, fftSlot);
    state->allocated = 1;

    if (fftLen == 0) {
        sigFirClearFftPart(state);
    } else {
        state->setOwnSpec(spec.get());
        if (const int status =
                sigFirSetFftPart(state, areas, static_cast<int>(fftLen), workBytes, taps);
            status != sigOk) {
            sigFree_generic(block);
            return status;
        }
        spec.release();
    }
    *pState = state;
    return sigOk;
}

int sigFirInitAllocFor_32f(sigFirState** pState, const float* taps, int tapsLen,
                           const float* dlyLine, int fftSlot) {
    if (pState == nullptr || taps == nullptr) return sigErrNullPtr;
    if (tapsLen <= 0) return sigErrFirLength;
    return sigFirInitAllocState_32f(pState, taps, tapsLen, dlyLine, sigFirIdSingleRate, fftSlot);
}

int sigFirInitAlloc_32f_generic(sigFirState** pState, const float* taps, int tapsLen,
                                const float* dlyLine) {
    return sigFirInitAllocFor_32f(pState, taps, tapsLen, dlyLine, 0);
}

// A state in a caller's buffer (allocated 0) is left alone; the id word is
// not cleared.
int sigFirFree_32f_generic(sigFirState* state) {
    if (state == nullptr) return sigErrNullPtr;
    if (state->id != sigFirIdSingleRate && state->id != sigFirIdMultiRate) {
        return sigErrStateMismatch;
    }
    if (state->allocated == 0) return sigOk;
    if (sigFftSpec_R_32f* spec = state->spec(); spec != nullptr) sigFftFree_R_32f_generic(spec);
    sigFree_generic(state);
    return sigOk;
}

int sigFirInitAlloc_32f(sigFirState** pState, const float* taps, int tapsLen,
                        const float* dlyLine) {
    return sigDispatch(sigDispatchTableA.firInitAlloc_32f, pState, taps, tapsLen, dlyLine);
}

int sigFirFree_32f(sigFirState* state) { return sigDispatch(sigDispatchTableA.firFree_32f, state); }
