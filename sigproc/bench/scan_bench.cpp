// The largest and smallest element of a block, as the limiter takes its
// block peaks (128 frames a block), and over a longer array, each against the
// plain scalar walk built for the instruction set the library's scans run with.
#include "sigproc/core/wide_isa.h"
#include "sigproc/sigproc.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

std::vector<float> samples(int count) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    std::vector<float> v(static_cast<std::size_t>(count));
    for (float& f : v) f = sample(rng);
    return v;
}

// The walk the scans are defined by: both extremes, one pass each.
[[gnu::always_inline]] inline float plainPeak(const float* src, int n) {
    float high = src[0];
    for (int i = 1; i < n; ++i)
        if (src[i] > high) high = src[i];
    float low = src[0];
    for (int i = 1; i < n; ++i)
        if (src[i] < low) low = src[i];
    return high - low;
}

using PlainPeak = float(const float*, int);
float peakBase(const float* s, int n) { return plainPeak(s, n); }
SIG_TARGET_AVX2 float peakAvx2(const float* s, int n) { return plainPeak(s, n); }
SIG_TARGET_AVX512 float peakAvx512(const float* s, int n) { return plainPeak(s, n); }
const sigWideVariants<PlainPeak> kPlainPeak{peakBase, peakAvx2, peakAvx512};

void peakLibrary(benchmark::State& state, int count) {
    const std::vector<float> src = samples(count);
    for (auto _ : state) {
        float high = 0.0f;
        float low = 0.0f;
        sigMax_32f(src.data(), count, &high);
        sigMin_32f(src.data(), count, &low);
        benchmark::DoNotOptimize(high - low);
    }
    state.SetItemsProcessed(state.iterations() * count);
}

void peakReference(benchmark::State& state, int count) {
    const std::vector<float> src = samples(count);
    PlainPeak* loop = kPlainPeak.select();
    for (auto _ : state) benchmark::DoNotOptimize(loop(src.data(), count));
    state.SetItemsProcessed(state.iterations() * count);
}

} // namespace

BENCHMARK_CAPTURE(peakLibrary, p128, 128)->Name("max_min_128/sigMax_32f_sigMin_32f");
BENCHMARK_CAPTURE(peakReference, p128, 128)->Name("max_min_128/reference_plain_loop");
BENCHMARK_CAPTURE(peakLibrary, p4800, 4800)->Name("max_min_4800/sigMax_32f_sigMin_32f");
BENCHMARK_CAPTURE(peakReference, p4800, 4800)->Name("max_min_4800/reference_plain_loop");
