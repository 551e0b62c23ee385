// Forward and inverse real transforms of 64 to 4096 points: the library's
// in-place transforms, FFTW's in-place single-precision real transforms with a
// measured plan, and KissFFT's real transforms (out of place: it has no other
// form). After the runs a table gives each time and its ratio to FFTW's.
//
// Like FFTW's own benchmarks, each iteration transforms the previous result
// again: values grow without bound in the unscaled transforms and may reach
// infinity, which costs SSE arithmetic nothing. Denormals would: the whole
// run flushes them to zero, as the driver's signal path does.
#include "sigproc/bench/fft/fft_cases.h"
#include "sigproc/sigproc.h"

#include <kiss_fftr.h>

#include <vector>

namespace {

using namespace fft_bench;

constexpr unsigned kSeed = 1;

void sigprocTransform(benchmark::State& state, int order, bool inverse) {
    flushDenormals();
    const std::size_t n = std::size_t{1} << order;
    sigFftSpec_R_32f* spec = nullptr;
    if (sigFftInitAlloc_R_32f(&spec, order, sigFftScaleNone, 0) != sigOk) {
        state.SkipWithError("no specification");
        return;
    }
    float* data = sigMalloc_32f(static_cast<int>(n));
    fillRandom(data, n, kSeed);
    auto run = inverse ? sigFftInvInPlace_R_32f : sigFftFwdInPlace_R_32f;
    for (auto _ : state) {
        run(data, spec, nullptr);
        benchmark::ClobberMemory();
    }
    sigFree(data);
    sigFftFree_R_32f(spec);
}

void fftw(benchmark::State& state, int order, bool inverse) {
    fftwTransform(state, order, inverse, kSeed);
}

void kissTransform(benchmark::State& state, int order, bool inverse) {
    flushDenormals();
    const int n = 1 << order;
    kiss_fftr_cfg config = kiss_fftr_alloc(n, inverse ? 1 : 0, nullptr, nullptr);
    std::vector<float> samples(static_cast<std::size_t>(n));
    std::vector<kiss_fft_cpx> bins(static_cast<std::size_t>(n / 2 + 1));
    fillRandom(samples.data(), samples.size(), kSeed);
    fillRandom(reinterpret_cast<float*>(bins.data()), 2 * bins.size(), kSeed);
    for (auto _ : state) {
        if (inverse) {
            kiss_fftri(config, bins.data(), samples.data());
        } else {
            kiss_fftr(config, samples.data(), bins.data());
        }
        benchmark::ClobberMemory();
    }
    kiss_fftr_free(config);
}

constexpr Contender kLibraries[] = {
    {"reference_FFTW", fftw},
    {"sigproc", sigprocTransform},
    {"KissFFT", kissTransform},
};

const bool registered = registerCases("Forward", "Inverse", {6, 8, 10, 12}, kLibraries);

} // namespace
