// The slot-5 real-FFT member beside the generic member, orders 6 to 16, in
// place, each with its work buffer from the caller; FFTW's in-place plans of
// the same length run in the same cases. The generic member is each case's
// reference ("SlotForward_order_12/reference_generic").
#include "sigproc/fft/real_fft.h"
#include "sigproc/fft/simd_fft.h"
#include "sigproc/sigproc.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <random>
#include <string>
#include <vector>
#include <xmmintrin.h>

namespace {

void flushDenormals() { _mm_setcsr(_mm_getcsr() | 0x8040); }

std::vector<float> randomData(std::size_t count) {
    std::mt19937 generator(2);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> data(count);
    for (float& v : data) v = uniform(generator);
    return data;
}

using InitAlloc = int (*)(sigFftSpec_R_32f**, int, int, int);
using Transform = int (*)(const float*, float*, const sigFftSpec_R_32f*, unsigned char*);

// Scaled in the inverse direction, so that repeated transforms stay bounded.
void memberTransform(benchmark::State& state, int order, bool inverse, InitAlloc initAlloc,
                     Transform forward, Transform backward) {
    flushDenormals();
    sigFftSpec_R_32f* spec = nullptr;
    if (initAlloc(&spec, order, sigFftScaleInv, 0) != sigOk) {
        state.SkipWithError("no specification");
        return;
    }
    int workBytes = 0;
    sigFftGetBufSize_R_32f(spec, &workBytes);
    std::vector<unsigned char> work(static_cast<std::size_t>(workBytes));
    float* data = sigMalloc_32f(1 << order);
    const std::vector<float> x = randomData(std::size_t{1} << order);
    std::copy(x.begin(), x.end(), data);
    const Transform run = inverse ? backward : forward;
    for (auto _ : state) {
        run(data, data, spec, work.data());
        benchmark::ClobberMemory();
    }
    sigFree(data);
    sigFftFree_R_32f(spec);
}

void genericTransform(benchmark::State& state, int order, bool inverse) {
    memberTransform(state, order, inverse, sigFftInitAlloc_R_32f, sigFftFwd_R_32f, sigFftInv_R_32f);
}

void sse41Transform(benchmark::State& state, int order, bool inverse) {
    memberTransform(state, order, inverse, sigFftInitAlloc_R_32f_sse41, sigFftFwd_R_32f_sse41,
                    sigFftInv_R_32f_sse41);
}

void fftwTransform(benchmark::State& state, int order, bool inverse) {
    flushDenormals();
    const int n = 1 << order;
    auto* data = static_cast<float*>(fftwf_malloc(sizeof(float) * static_cast<std::size_t>(n + 2)));
    auto* bins = reinterpret_cast<fftwf_complex*>(data);
    fftwf_plan plan = inverse ? fftwf_plan_dft_c2r_1d(n, bins, data, FFTW_MEASURE)
                              : fftwf_plan_dft_r2c_1d(n, data, bins, FFTW_MEASURE);
    const std::vector<float> x = randomData(static_cast<std::size_t>(n + 2));
    std::copy(x.begin(), x.end(), data);
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(data);
}

using Body = void (*)(benchmark::State&, int, bool);

struct Member {
    const char* name;
    Body body;
};

constexpr Member kMembers[] = {
    {"reference_generic", genericTransform},
    {"sse41", sse41Transform},
    {"FFTW", fftwTransform},
};

const bool registered = [] {
    for (const char* direction : {"SlotForward", "SlotInverse"}) {
        const bool inverse = std::string(direction) == "SlotInverse";
        for (int order = 6; order <= 16; ++order) {
            for (const Member& member : kMembers) {
                const std::string name = std::string(direction) + "_order_" +
                                         (order < 10 ? "0" : "") + std::to_string(order) + "/" +
                                         member.name;
                benchmark::RegisterBenchmark(
                    name.c_str(), [body = member.body, order, inverse](benchmark::State& state) {
                        body(state, order, inverse);
                    });
            }
        }
    }
    return true;
}();

} // namespace
