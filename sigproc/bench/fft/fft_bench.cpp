// Forward and inverse real transforms of 64 to 262144 points and the forward
// complex transform of 256 to 4096 values: the library in place at level 0
// (what every caller gets) and at the fastest level this processor allows,
// FFTW's in-place single-precision transforms with a measured plan (each
// case's reference), and KissFFT's real transforms up to 4096 points (out of
// place: it has no other form). The library runs with the work buffer its
// size query asks for, and each of its cases counts the allocations a call
// makes through the allocator's hooks ("allocs_per_call", which must be 0).
//
// Like FFTW's own benchmarks, each iteration transforms the previous result
// again, unscaled as FFTW's: values grow without bound and may reach
// infinity, which costs SSE arithmetic nothing. Denormals would: the whole run flushes them to
// zero, as the driver's signal path does.
#include "sigproc/bench/alloc_count.h"
#include "sigproc/bench/fft/fft_cases.h"
#include "sigproc/core/cpu.h"
#include "sigproc/core/dispatch.h"
#include "sigproc/fft/complex_fft.h"
#include "sigproc/sigproc.h"

#include <fftw3.h>
#include <kiss_fftr.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace fft_bench;

constexpr unsigned kSeed = 1;

// The dispatch level for the life of the object; level 0 again afterwards.
class LevelScope {
public:
    explicit LevelScope(int level) { sigCpuLevel.store(level, std::memory_order_relaxed); }
    ~LevelScope() { sigCpuLevel.store(0, std::memory_order_relaxed); }
    LevelScope(const LevelScope&) = delete;
    LevelScope& operator=(const LevelScope&) = delete;
};

int fastestLevel() { return sigCpuLevelOf(sigCpuReadSnapshot()).level; }

template <typename Call> void countedLoop(benchmark::State& state, Call call) {
    long allocations = 0;
    {
        const BenchAllocationCounter counter;
        for (auto _ : state) {
            call();
            benchmark::ClobberMemory();
        }
        allocations = BenchAllocationCounter::count();
    }
    reportAllocationsPerCall(state, allocations);
}

void realTransform(benchmark::State& state, int order, bool inverse, int level) {
    flushDenormals();
    const LevelScope atLevel(level);
    const std::size_t n = std::size_t{1} << order;
    sigFftSpec_R_32f* spec = nullptr;
    int workBytes = 0;
    if (sigFftInitAlloc_R_32f(&spec, order, sigFftScaleNone, 0) != sigOk ||
        sigFftGetBufSize_R_32f(spec, &workBytes) != sigOk) {
        state.SkipWithError("no specification");
        return;
    }
    std::vector<unsigned char> work(static_cast<std::size_t>(workBytes));
    unsigned char* workBuf = workBytes > 0 ? work.data() : nullptr;
    float* data = sigMalloc_32f(static_cast<int>(n));
    fillRandom(data, n, kSeed);
    auto run = inverse ? sigFftInvInPlace_R_32f : sigFftFwdInPlace_R_32f;
    countedLoop(state, [&] { run(data, spec, workBuf); });
    sigFree(data);
    sigFftFree_R_32f(spec);
}

void level0(benchmark::State& state, int order, bool inverse) {
    realTransform(state, order, inverse, 0);
}

void fastest(benchmark::State& state, int order, bool inverse) {
    realTransform(state, order, inverse, fastestLevel());
}

void fftw(benchmark::State& state, int order, bool inverse) {
    fftwTransform(state, order, inverse, kSeed);
}

void kissTransform(benchmark::State& state, int order, bool inverse) {
    if (order > 12) {
        state.SkipWithError("KissFFT runs up to order 12 only");
        return;
    }
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
    {"sigproc_level0", level0},
    {"sigproc_fastest_level", fastest},
    {"KissFFT", kissTransform},
};

const bool registered =
    registerCases("Forward", "Inverse", {6, 8, 10, 12, 13, 14, 16, 18}, kLibraries);

// The complex family has no level of its own: its groups hold the generic
// member in every slot, so one case stands for every level.
void complexLibrary(benchmark::State& state, int order) {
    flushDenormals();
    sigFftSpec_C_32fc* spec = nullptr;
    int specBytes = 0, initBytes = 0, workBytes = 0;
    if (sigFftGetSize_C_32fc(order, sigFftScaleNone, 0, &specBytes, &initBytes, &workBytes) !=
            sigOk ||
        sigFftInitAlloc_C_32fc_generic(&spec, order, sigFftScaleNone, 0) != sigOk) {
        state.SkipWithError("no specification");
        return;
    }
    std::vector<unsigned char> work(static_cast<std::size_t>(workBytes) + 32);
    const std::size_t n = std::size_t{1} << order;
    float* data = sigMalloc_32f(static_cast<int>(2 * n));
    fillRandom(data, 2 * n, kSeed);
    countedLoop(state, [&] { sigFftFwd_CToC_32fc_generic(data, data, spec, work.data()); });
    sigFree(data);
    sigFftFree_C_32fc_generic(spec);
}

void complexFftw(benchmark::State& state, int order) {
    flushDenormals();
    const int n = 1 << order;
    auto* data = static_cast<fftwf_complex*>(
        fftwf_malloc(sizeof(fftwf_complex) * static_cast<std::size_t>(n)));
    fftwf_plan plan = fftwf_plan_dft_1d(n, data, data, FFTW_FORWARD, FFTW_MEASURE);
    fillRandom(reinterpret_cast<float*>(data), 2 * static_cast<std::size_t>(n), kSeed);
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(data);
}

bool registerComplex() {
    for (int order : {8, 10, 12}) {
        const std::string name =
            "ComplexForward_order_" + std::string(order < 10 ? "0" : "") + std::to_string(order);
        benchmark::RegisterBenchmark((name + "/reference_FFTW").c_str(),
                                     [order](benchmark::State& s) { complexFftw(s, order); });
        benchmark::RegisterBenchmark((name + "/sigproc_every_level").c_str(),
                                     [order](benchmark::State& s) { complexLibrary(s, order); });
    }
    return true;
}

const bool complexRegistered = registerComplex();

} // namespace
