// Single-rate FIR filtering as the driver runs it: the headphone virtualizer's
// 256-tap filters on 512-sample blocks (the FFT overlap path) and the FIR
// effect's 101-tap filters on 48-sample blocks (the direct path). Each is
// measured beside a plain double-accumulating loop, and the 256-tap case also
// beside the same overlap-save convolution written on FFTW, in the same run.
#include "sigproc/bench/fir_stream.h"
#include "sigproc/core/cpu.h"
#include "sigproc/core/dispatch.h"
#include "sigproc/core/wide_isa.h"
#include "sigproc/sigproc.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <complex>
#include <cstring>
#include <vector>

namespace {

using Stream = FirStream;

// y[n] = sum over k of c[k]·x[n - k], summed in double, with the last
// tapsLen - 1 inputs carried in front of each block.
class ReferenceFir {
public:
    ReferenceFir(const std::vector<float>& taps, int blockLen)
        : taps_(taps), line_(taps.size() - 1 + static_cast<std::size_t>(blockLen), 0.0f) {}
    void process(const float* x, float* y, int n) {
        const std::size_t keep = taps_.size() - 1;
        std::copy(x, x + n, line_.begin() + static_cast<std::ptrdiff_t>(keep));
        for (int i = 0; i < n; ++i) {
            const float* newest = line_.data() + keep + i;
            double sum = 0.0;
            for (std::size_t k = 0; k < taps_.size(); ++k)
                sum += double{taps_[k]} * newest[-static_cast<std::ptrdiff_t>(k)];
            y[i] = static_cast<float>(sum);
        }
        std::memmove(line_.data(), line_.data() + n, keep * sizeof(float));
    }

private:
    std::vector<float> taps_;
    std::vector<float> line_;
};

// The plain float loop: every output's sum in single precision, the taps in
// the outer loop and the outputs in the inner one, which the compiler
// vectorises across outputs. Built for the instruction set the library's
// direct path runs with on this machine.
[[gnu::always_inline]] inline void plainFloatFir(const float* taps, int tapsLen, const float* line,
                                                 float* y, int n) {
    for (int i = 0; i < n; ++i) y[i] = 0.0f;
    for (int k = 0; k < tapsLen; ++k) {
        const float c = taps[k];
        const float* x = line + (tapsLen - 1 - k);
        for (int i = 0; i < n; ++i) y[i] += c * x[i];
    }
}

using PlainFir = void(const float*, int, const float*, float*, int);
void plainFirBase(const float* t, int len, const float* x, float* y, int n) {
    plainFloatFir(t, len, x, y, n);
}
SIG_TARGET_AVX2 void plainFirAvx2(const float* t, int len, const float* x, float* y, int n) {
    plainFloatFir(t, len, x, y, n);
}
SIG_TARGET_AVX512 void plainFirAvx512(const float* t, int len, const float* x, float* y, int n) {
    plainFloatFir(t, len, x, y, n);
}
const sigWideVariants<PlainFir> kPlainFir{plainFirBase, plainFirAvx2, plainFirAvx512};

class FloatFir {
public:
    FloatFir(const std::vector<float>& taps, int blockLen)
        : taps_(taps), line_(taps.size() - 1 + static_cast<std::size_t>(blockLen), 0.0f),
          loop_(kPlainFir.select()) {}
    void process(const float* x, float* y, int n) {
        const std::size_t keep = taps_.size() - 1;
        std::copy(x, x + n, line_.begin() + static_cast<std::ptrdiff_t>(keep));
        loop_(taps_.data(), static_cast<int>(taps_.size()), line_.data(), y, n);
        std::memmove(line_.data(), line_.data() + n, keep * sizeof(float));
    }

private:
    std::vector<float> taps_;
    std::vector<float> line_;
    PlainFir* loop_;
};

// Overlap-save with single-precision FFTW: per block, the tapsLen - 1 previous
// inputs and the new block, zero-padded to fftLen, times the taps' spectrum.
class FftwOverlapSave {
public:
    FftwOverlapSave(const std::vector<float>& taps, int fftLen)
        : tapsLen_(static_cast<int>(taps.size())), fftLen_(fftLen),
          block_(fftwf_alloc_real(static_cast<std::size_t>(fftLen))),
          spectrum_(fftwf_alloc_complex(static_cast<std::size_t>(fftLen / 2 + 1))),
          tapsSpectrum_(static_cast<std::size_t>(fftLen / 2 + 1)), history_(taps.size() - 1, 0.0f) {
        forward_ = fftwf_plan_dft_r2c_1d(fftLen, block_, spectrum_, FFTW_MEASURE);
        inverse_ = fftwf_plan_dft_c2r_1d(fftLen, spectrum_, block_, FFTW_MEASURE);
        std::fill(block_, block_ + fftLen, 0.0f);
        std::copy(taps.begin(), taps.end(), block_);
        fftwf_execute(forward_);
        const float scale = 1.0f / static_cast<float>(fftLen); // the inverse is unscaled
        for (int k = 0; k <= fftLen / 2; ++k) {
            tapsSpectrum_[static_cast<std::size_t>(k)] =
                std::complex<float>(spectrum_[k][0], spectrum_[k][1]) * scale;
        }
    }
    ~FftwOverlapSave() {
        fftwf_destroy_plan(forward_);
        fftwf_destroy_plan(inverse_);
        fftwf_free(block_);
        fftwf_free(spectrum_);
    }
    FftwOverlapSave(const FftwOverlapSave&) = delete;
    FftwOverlapSave& operator=(const FftwOverlapSave&) = delete;

    // n <= fftLen - tapsLen + 1 outputs from one transform pair.
    void process(const float* x, float* y, int n) {
        const int keep = tapsLen_ - 1;
        std::copy(history_.begin(), history_.end(), block_);
        std::copy(x, x + n, block_ + keep);
        std::fill(block_ + keep + n, block_ + fftLen_, 0.0f);
        std::copy(block_ + n, block_ + n + keep, history_.begin());
        fftwf_execute(forward_);
        for (int k = 0; k <= fftLen_ / 2; ++k) {
            const std::complex<float> product =
                std::complex<float>(spectrum_[k][0], spectrum_[k][1]) *
                tapsSpectrum_[static_cast<std::size_t>(k)];
            spectrum_[k][0] = product.real();
            spectrum_[k][1] = product.imag();
        }
        fftwf_execute(inverse_);
        std::copy(block_ + keep, block_ + keep + n, y);
    }

private:
    int tapsLen_;
    int fftLen_;
    float* block_;
    fftwf_complex* spectrum_;
    std::vector<std::complex<float>> tapsSpectrum_;
    std::vector<float> history_;
    fftwf_plan forward_{};
    fftwf_plan inverse_{};
};

void firReference(benchmark::State& state, int tapsLen, int blockLen) {
    Stream s(tapsLen, blockLen);
    ReferenceFir fir(s.taps, blockLen);
    timeCalls(state, s, [&](const float* x, float* y, int n) { fir.process(x, y, n); });
}

// The headphone virtualizer's state: made by the library, FFT length 1024.
void fir256Library(benchmark::State& state) {
    Stream s(256, 512);
    sigFirState* fir = nullptr;
    if (sigFirInitAlloc_32f(&fir, s.taps.data(), 256, nullptr) != sigOk) {
        state.SkipWithError("no FIR state");
        return;
    }
    timeCalls(state, s, [&](const float* x, float* y, int n) { sigFirProcess_32f(x, y, n, fir); });
    sigFirFree_32f(fir);
}

void fir256Fftw(benchmark::State& state) {
    Stream s(256, 512);
    FftwOverlapSave fir(s.taps, 1024);
    timeCalls(state, s, [&](const float* x, float* y, int n) { fir.process(x, y, n); });
}

void firFloatReference(benchmark::State& state, int tapsLen, int blockLen) {
    Stream s(tapsLen, blockLen);
    FloatFir fir(s.taps, blockLen);
    timeCalls(state, s, [&](const float* x, float* y, int n) { fir.process(x, y, n); });
}

// The FIR effect's and the rate converters' lengths, a state in the caller's
// buffer, so every 48-sample call takes the direct path.
void firDirectLibrary(benchmark::State& state, int tapsLen) {
    Stream s(tapsLen, 48);
    int size = 0;
    sigFirGetStateSize_32f(tapsLen, &size);
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size));
    sigFirState* fir = nullptr;
    if (sigFirInit_32f(&fir, s.taps.data(), tapsLen, nullptr, buffer.data()) != sigOk) {
        state.SkipWithError("no FIR state");
        return;
    }
    timeCalls(state, s, [&](const float* x, float* y, int n) { sigFirProcess_32f(x, y, n, fir); });
}

// The same through the set-up and processing members of one processor slot,
// whose direct path sums in single precision from the slot's tap copies.
void firSlot(benchmark::State& state, int tapsLen, int blockLen, int slot) {
    if (sigCpuLevelOf(sigCpuReadSnapshot()).level < slot) {
        state.SkipWithError("the processor lacks the slot's instructions");
        return;
    }
    Stream s(tapsLen, blockLen);
    int size = 0;
    sigDispatchTable.firGetStateSize_32f[slot](tapsLen, &size);
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size));
    sigFirState* fir = nullptr;
    if (sigDispatchTable.firInit_32f[slot](&fir, s.taps.data(), tapsLen, nullptr, buffer.data()) !=
        sigOk) {
        state.SkipWithError("no FIR state");
        return;
    }
    auto* process = sigDispatchTable.firProcess_32f[slot];
    timeCalls(state, s, [&](const float* x, float* y, int n) { process(x, y, n, fir); });
}

void firDirectSlot(benchmark::State& state, int tapsLen, int slot) {
    firSlot(state, tapsLen, 48, slot);
}

} // namespace

BENCHMARK(fir256Library)->Name("fir256_512/sigFirProcess_32f");
BENCHMARK(fir256Fftw)->Name("fir256_512/fftwf_overlap_save");
BENCHMARK_CAPTURE(firSlot, 256_sse41, 256, 512, 5)->Name("fir256_512/slot5_sse41");
BENCHMARK_CAPTURE(firReference, 256, 256, 512)->Name("fir256_512/reference_double_loop");
BENCHMARK_CAPTURE(firDirectLibrary, 66, 66)->Name("fir66_48/sigFirProcess_32f");
BENCHMARK_CAPTURE(firFloatReference, 66, 66, 48)->Name("fir66_48/reference_float_loop");
BENCHMARK_CAPTURE(firDirectLibrary, 101, 101)->Name("fir101_48/sigFirProcess_32f");
BENCHMARK_CAPTURE(firFloatReference, 101, 101, 48)->Name("fir101_48/reference_float_loop");
BENCHMARK_CAPTURE(firDirectLibrary, 132, 132)->Name("fir132_48/sigFirProcess_32f");
BENCHMARK_CAPTURE(firFloatReference, 132, 132, 48)->Name("fir132_48/reference_float_loop");
BENCHMARK_CAPTURE(firDirectLibrary, 101d, 101)->Name("fir101_48_double/sigFirProcess_32f");
BENCHMARK_CAPTURE(firReference, 101, 101, 48)->Name("fir101_48_double/reference_double_loop");
BENCHMARK_CAPTURE(firDirectSlot, 66_sse, 66, 1)->Name("fir66_48/slot1_sse");
BENCHMARK_CAPTURE(firDirectSlot, 66_sse2, 66, 2)->Name("fir66_48/slot2_sse2");
BENCHMARK_CAPTURE(firDirectSlot, 66_sse3, 66, 3)->Name("fir66_48/slot3_sse3");
BENCHMARK_CAPTURE(firDirectSlot, 66_ssse3, 66, 4)->Name("fir66_48/slot4_ssse3");
BENCHMARK_CAPTURE(firDirectSlot, 66_sse41, 66, 5)->Name("fir66_48/slot5_sse41");
BENCHMARK_CAPTURE(firDirectSlot, 101_sse, 101, 1)->Name("fir101_48/slot1_sse");
BENCHMARK_CAPTURE(firDirectSlot, 101_sse2, 101, 2)->Name("fir101_48/slot2_sse2");
BENCHMARK_CAPTURE(firDirectSlot, 101_sse3, 101, 3)->Name("fir101_48/slot3_sse3");
BENCHMARK_CAPTURE(firDirectSlot, 101_ssse3, 101, 4)->Name("fir101_48/slot4_ssse3");
BENCHMARK_CAPTURE(firDirectSlot, 101_sse41, 101, 5)->Name("fir101_48/slot5_sse41");
BENCHMARK_CAPTURE(firDirectSlot, 132_sse, 132, 1)->Name("fir132_48/slot1_sse");
BENCHMARK_CAPTURE(firDirectSlot, 132_sse2, 132, 2)->Name("fir132_48/slot2_sse2");
BENCHMARK_CAPTURE(firDirectSlot, 132_sse3, 132, 3)->Name("fir132_48/slot3_sse3");
BENCHMARK_CAPTURE(firDirectSlot, 132_ssse3, 132, 4)->Name("fir132_48/slot4_ssse3");
BENCHMARK_CAPTURE(firDirectSlot, 132_sse41, 132, 5)->Name("fir132_48/slot5_sse41");
