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

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>
#include <xmmintrin.h>

namespace {

constexpr int kOrders[] = {6, 8, 10, 12};
const char* const kLibraries[] = {"sigproc", "FFTW", "KissFFT"};

void fillRandom(float* data, std::size_t count) {
    std::mt19937 generator(1);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (std::size_t i = 0; i < count; ++i) data[i] = uniform(generator);
}

void sigprocTransform(benchmark::State& state, int order, bool inverse) {
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

std::string benchmarkName(const char* direction, const char* library, int order) {
    return std::string(direction) + "/" + library + "/order:" + std::to_string(order);
}

void registerAll() {
    using Body = void (*)(benchmark::State&, int, bool);
    const Body bodies[] = {sigprocTransform, fftwTransform, kissTransform};
    for (const char* direction : {"Forward", "Inverse"}) {
        const bool inverse = std::string(direction) == "Inverse";
        for (int order : kOrders) {
            for (int lib = 0; lib < 3; ++lib) {
                benchmark::RegisterBenchmark(benchmarkName(direction, kLibraries[lib], order).c_str(),
                                             [body = bodies[lib], order, inverse](benchmark::State& state) {
                                                 body(state, order, inverse);
                                             });
            }
        }
    }
}

// The console report, then a table of times and ratios to FFTW.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                nanoseconds_[run.benchmark_name()] = run.GetAdjustedRealTime() * secondsPer(run.time_unit) * 1e9;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-8s %5s %12s %12s %12s %14s %14s\n", "", "order", "sigproc ns", "FFTW ns", "KissFFT ns",
                    "sigproc/FFTW", "KissFFT/FFTW");
        for (const char* direction : {"Forward", "Inverse"}) {
            for (int order : kOrders) {
                const double ours = time(direction, kLibraries[0], order);
                const double fftw = time(direction, kLibraries[1], order);
                const double kiss = time(direction, kLibraries[2], order);
                std::printf("%-8s %5d %12.1f %12.1f %12.1f %14.2f %14.2f\n", direction, order, ours, fftw, kiss,
                            ours / fftw, kiss / fftw);
            }
        }
    }

private:
    static double secondsPer(benchmark::TimeUnit unit) {
        switch (unit) {
        case benchmark::kNanosecond: return 1e-9;
        case benchmark::kMicrosecond: return 1e-6;
        case benchmark::kMillisecond: return 1e-3;
        default: return 1.0;
        }
    }

    double time(const char* direction, const char* library, int order) const {
        const auto found = nanoseconds_.find(benchmarkName(direction, library, order));
        return found == nanoseconds_.end() ? 0.0 : found->second;
    }

    std::map<std::string, double> nanoseconds_;
};

} // namespace

int main(int argc, char** argv) {
    _mm_setcsr(_mm_getcsr() | 0x8040); // flush-to-zero and denormals-are-zero
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
