// What the two single-rate set-ups (in a caller's buffer, in a library block)
// share: the FFT length rule, the order of the areas, the common words with
// the reversed taps and the delay line, and the spectrum of the taps.
#include "sigproc/filters/fir.h"

#include "sigproc/fft/real_fft.h"
#include "sigproc/fft/real_fft_ops.h"
#include "sigproc/vector/fill.h"

#include <bit>

int sigFirFftOrder(int tapsLen) {
    if (tapsLen < sigFirFftMinTaps) return 0;
    return static_cast<int>(std::bit_width(static_cast<unsigned>(tapsLen))) + 1;
}

sigFirAreas sigFirPlanAreas(int tapsLen, std::int64_t fftLen, std::int64_t specBytes,
                            std::int64_t initBytes, std::int64_t workBytes, int slot) {
    const std::int64_t taps = tapsLen;
    const std::int64_t tapsBytes = sigAlign16(4 * taps);
    const sigFirTapCopies copies = sigFirTapCopiesOf(slot);
    sigAreaCursor cursor(sigFirHeaderBytes);
    sigFirAreas a{};
    a.taps = cursor.take(copies.reversed ? 16 * sigFirReversedStride(tapsLen) : tapsBytes);
    // Room for at least 3·tapsLen + 4 floats: the history and a head block behind it.
    a.delay = cursor.take((12 * taps + 31) & ~std::int64_t{15});
    a.polyTaps = copies.replicated ? cursor.take(4 * tapsBytes) : 0;
    a.gap = cursor.take(sigFirGapBytes);
    a.fftSpec = cursor.take(specBytes);
    a.fftInit = cursor.take(initBytes);
    a.fftTaps = cursor.take(sigAlign16(4 * fftLen));
    a.fftWork = cursor.take(workBytes);
    a.block = cursor.take(sigAlign16(4 * fftLen));
    a.spare = cursor.take(sigFirSpareBytes);
    // The four reversed copies come on top of the single-copy taps area's
    // bytes, which stay at the end of the block unused.
    if (copies.reversed) cursor.take(tapsBytes);
    a.end = cursor.end();
    return a;
}

void sigFirWriteSingleRate(sigFirState* state, const sigFirAreas& areas, const float* taps,
                           int tapsLen, const float* dlyLine, std::uint32_t id,
                           std::int32_t fftWorkBytes) {
    auto offset = [](std::int64_t bytes) { return static_cast<std::uint32_t>(bytes); };
    state->taps = offset(areas.taps);
    state->delay = offset(areas.delay);
    state->polyTaps = 0;
    state->gap = offset(areas.gap);
    state->fftSpec = 0;
    state->phaseTable = 0;
    state->id = id;
    state->tapsLen = tapsLen;
    state->fftWorkBytes = fftWorkBytes;
    state->delayLen = tapsLen;
    state->delayIndex = 0;
    state->allocated = 0;
    state->block = offset(areas.block);
    state->spare = offset(areas.spare);

    // The state keeps the taps reversed and the history oldest first, so the
    // direct path pairs taps[k] with the k-th oldest sample of a window.
    float* reversed = state->tapsArea();
    for (int k = 0; k < tapsLen; ++k) reversed[k] = taps[tapsLen - 1 - k];
    float* delay = state->delayArea();
    if (dlyLine == nullptr) {
        sigZero_32f_generic(delay, tapsLen);
    } else {
        for (int k = 0; k < tapsLen; ++k) delay[k] = dlyLine[tapsLen - 1 - k];
    }
    state->headLen = ((tapsLen + 3) & ~3) | 1;
}

void sigFirWriteTapCopies(sigFirState* state, const sigFirAreas& areas, const float* taps,
                          int tapsLen, int slot) {
    const sigFirTapCopies copies = sigFirTapCopiesOf(slot);
    if (copies.replicated) {
        state->polyTaps = static_cast<std::uint32_t>(areas.polyTaps);
        float* poly = sigStateArea<float>(state, state->polyTaps);
        for (int k = 0; k < tapsLen; ++k) {
            for (int lane = 0; lane < 4; ++lane) poly[4 * k + lane] = taps[k];
        }
    }
    if (copies.reversed) {
        const std::int64_t stride = sigFirReversedStride(tapsLen) + 1;
        float* area = state->tapsArea();
        sigZero_32f_generic(area, static_cast<int>(4 * (stride - 1)));
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < tapsLen; ++k) area[j * stride + k] = taps[tapsLen - 1 - k];
        }
    }
}

// The spectrum stays unscaled: the inverse transform of the overlap path
// applies the 1/fftLen of the convolution.
int sigFirSetFftPart(sigFirState* state, const sigFirAreas& areas, int fftLen, int workBytes,
                     const float* taps) {
    state->fftLen = fftLen;
    state->fftTaps = static_cast<std::uint32_t>(areas.fftTaps);
    state->fftWork = workBytes > 0 ? static_cast<std::uint32_t>(areas.fftWork) : 0;
    float* spectrum = state->fftTapsArea();
    sigCopy_32f_generic(taps, spectrum, state->tapsLen);
    sigZero_32f_generic(spectrum + state->tapsLen, state->fftLen - state->tapsLen);
    const sigFftSpec_R_32f* spec = state->spec();
    return sigFftRealOpsOf(*spec).forward(spectrum, spectrum, spec, state->fftWorkArea());
}

void sigFirClearFftPart(sigFirState* state) {
    state->fftLen = -1;
    state->fftTaps = 0;
    state->fftWork = 0;
}
