// The FFT overlap path of single-rate FIR processing: overlap-save convolution
// through the real FFT that set-up prepared.
//
// With fftLen M and L taps, one transform step turns a block of M inputs (the
// L - 1 samples before the block's outputs, then the new ones) into the
// circular convolution with the taps; its first L - 1 values wrap and are
// discarded, and the other B = M - L + 1 are outputs. The inverse transform
// applies the 1/M, so nothing else scales. The transforms and the product
// are those of the processor slot that built the state's FFT record.
#include "sigproc/filters/fir.h"

#include "sigproc/fft/real_fft_ops.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/fill.h"

#include <algorithm>

namespace {

class OverlapSave {
public:
    explicit OverlapSave(const sigFirState* state)
        : spec_(state->spec()), ops_(sigFftRealOpsOf(*spec_)), work_(state->fftWorkArea()),
          spectrum_(state->fftTapsArea()), block_(state->blockArea()), fftLen_(state->fftLen) {}

    float* block() const { return block_; }

    // Forward transform of fftLen samples from `in` into the block, product
    // with the taps' spectrum, inverse transform in place.
    int step(const float* in) const {
        if (const int status = ops_.forward(in, block_, spec_, work_); status != sigOk) {
            return status;
        }
        ops_.mulPackInPlace(spectrum_, block_, fftLen_);
        return ops_.inverse(block_, block_, spec_, work_);
    }

    // Copies `count` samples into the block from `at` on and zeroes the rest.
    void load(const float* src, std::int64_t at, std::int64_t count) const {
        sigCopy_32f_generic(src, block_ + at, static_cast<int>(count));
        sigZeroBytes_8u(block_ + at + count, 4 * (fftLen_ - at - count));
    }

private:
    const sigFftSpec_R_32f* spec_;
    const sigFftRealOps& ops_;
    unsigned char* work_;
    const float* spectrum_;
    float* block_;
    std::int64_t fftLen_;
};

} // namespace

int sigFirProcessFft_32f(sigFirState* state, const float* src, float* dst, int numIters) {
    const int tapsLen = state->tapsLen;
    const std::int64_t fftLen = state->fftLen;
    const std::int64_t perBlock = fftLen - tapsLen + 1;
    const std::int64_t n = numIters;
    const OverlapSave overlap(state);
    float* block = overlap.block();

    float* delay = state->delayArea();
    const float* history = delay + state->delayIndex;
    state->delayIndex = 0;
    sigCopy_32f_generic(history + 1, block, tapsLen - 1);

    if (n <= perBlock) {
        overlap.load(src, tapsLen - 1, n);
        // The new history: the last tapsLen samples of history and input,
        // taken before the transform overwrites the block.
        sigCopy_32f_generic(block + n - 1, delay, tapsLen);
        if (const int status = overlap.step(block); status != sigOk) return status;
        sigCopy_32f_generic(block + tapsLen - 1, dst, numIters);
        return sigOk;
    }

    sigCopy_32f_generic(src, block + tapsLen - 1, static_cast<int>(perBlock));
    if (const int status = overlap.step(block); status != sigOk) return status;
    sigCopy_32f_generic(block + tapsLen - 1, dst, static_cast<int>(perBlock));
    sigCopy_32f_generic(src + (n - tapsLen), delay, tapsLen);

    // Each later block starts tapsLen - 1 samples before its first output; a
    // whole FFT length of remaining input is transformed straight from the source.
    const std::int64_t remaining = n - perBlock;
    for (std::int64_t k = 0; k < remaining; k += perBlock) {
        const float* in = src + perBlock - (tapsLen - 1) + k;
        std::int64_t outputs = perBlock;
        int status;
        if (remaining - k >= fftLen) {
            status = overlap.step(in);
        } else {
            overlap.load(in, 0, std::min(remaining + tapsLen - 1 - k, fftLen));
            status = overlap.step(block);
            outputs = std::min(remaining - k, perBlock);
        }
        if (status != sigOk) return status;
        sigCopy_32f_generic(block + tapsLen - 1, dst + perBlock + k, static_cast<int>(outputs));
    }
    return sigOk;
}
