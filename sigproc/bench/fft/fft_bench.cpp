// Forward and inverse real transforms of 64 to 4096 points: the library's
// in-place transforms, FFTW's in-place single-precision real transforms with a
// measured plan, and KissFFT's real transforms (out of place: it has no other
// form). After the runs a table gives each time and its ratio to FFTW's.
//
// Like FFTW's own benchmarks, each iteration transforms the previous result
// again: values grow without bound in the unscaled transforms and may reach
// infinity, which costs SSE arithmetic nothing. Denormals would: the whole
// run flushes them to zero, as the driver's signal path does.
#include "sigproc/sigproc.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <kiss_fftr.h>

#include <random>
#include <string>
#include <vector>
#include <xmmintrin.h>

namespace {

constexpr int kOrders[] = {6, 8, 10, 12};

void flushDenormals() { _mm_setcsr(_mm_getcsr() | 0x8040); }

void fillRandom(float* data, std::size_t count) {
    std::mt19937 generator(1);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (std::size_t i = 0; i < count; ++i) data[i] = uniform(generator);
}

void sigprocTransform(benchmark::State& state, int order, bool inverse) {
    flushDenormals();
    const std::size_t n = std::size_t{1} << order;
    sigFftSpec_R_32f* spec = nullptr;
    if (sigFftInitAlloc_R_32f(&spec, order, sigFftScaleNone, 0) != sigOk) {
        state.SkipWithError("no specification");
        return;
    }
    float* data = sigMalloc_32f(static_cast<int>(n));
    fillRandom(data, n);
    auto run = inverse ? sigFftInvInPlace_R_32f : sigFftFwdInPlace_R_32f;
    for (auto _ : state) {
        run(data, spec, nullptr);
        benchmark::ClobberMemory();
    }
    sigFree(data);
    sigFftFree_R_32f(spec);
}

void fftwTransform(benchmark::State& state, int order, bool inverse) {
    flushDenormals();
    const int n = 1 << order;
    // In place: n/2 + 1 complex bins over n + 2 floats.
    auto* data = static_cast<float*>(fftwf_malloc(sizeof(float) * static_cast<std::size_t>(n + 2)));
    auto* bins = reinterpret_cast<fftwf_complex*>(data);
    fftwf_plan plan = inverse ? fftwf_plan_dft_c2r_1d(n, bins, data, FFTW_MEASURE)
                              : fftwf_plan_dft_r2c_1d(n, data, bins, FFTW_MEASURE);
    fillRandom(data, static_cast<std::size_t>(n + 2));
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(data);
}

void kissTransform(benchmark::State& state, int order, bool inverse) {
    flushDenormals();
    const int n = 1 << order;
    kiss_fftr_cfg config = kiss_fftr_alloc(n, inverse ? 1 : 0, nullptr, nullptr);
    std::vector<float> samples(static_cast<std::size_t>(n));
    std::vector<kiss_fft_cpx> bins(static_cast<std::size_t>(n / 2 + 1));
    fillRandom(samples.data(), samples.size());
    fillRandom(reinterpret_cast<float*>(bins.data()), 2 * bins.size());
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

using Body = void (*)(benchmark::State&, int, bool);

struct Library {
    const char* name; // "reference..." marks the case's reference
    Body body;
};

constexpr Library kLibraries[] = {
    {"reference_FFTW", fftwTransform},
    {"sigproc", sigprocTransform},
    {"KissFFT", kissTransform},
};

const bool registered = [] {
    for (const char* direction : {"Forward", "Inverse"}) {
        const bool inverse = std::string(direction) == "Inverse";
        for (int order : kOrders) {
            for (const Library& library : kLibraries) {
                const std::string name = std::string(direction) + "_order_" +
                                         (order < 10 ? "0" : "") + std::to_string(order) + "/" +
                                         library.name;
                benchmark::RegisterBenchmark(
                    name.c_str(), [body = library.body, order, inverse](benchmark::State& state) {
                        body(state, order, inverse);
                    });
            }
        }
    }
    return true;
}();

} // namespace
