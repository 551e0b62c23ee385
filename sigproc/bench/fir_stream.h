// What the filter benchmarks share: a stream of noise fed to a filter one
// call at a time, cycling through a longer signal so that the filter sees
// fresh data, and the timing loop over such calls.
#pragma once

#include "sigproc/bench/alloc_count.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

inline std::vector<float> benchNoise(std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(count);
    for (float& x : v) x = dist(rng);
    return v;
}

struct FirStream {
    // A single-rate filter: blockLen samples in and out per call.
    FirStream(int tapsLen, int blockLen) : FirStream(tapsLen, blockLen, blockLen, blockLen) {}
    // callCount is what each call is given: samples, or iterations of a multi-rate filter.
    FirStream(int tapsLen, int inputsPerCall, int outputsPerCall, int callCount)
        : taps(benchNoise(static_cast<std::size_t>(tapsLen), 1)),
          input(benchNoise(static_cast<std::size_t>(inputsPerCall) * kBlocks, 2)),
          output(static_cast<std::size_t>(outputsPerCall)), inputsPerCall(inputsPerCall),
          callCount(callCount) {}

    const float* next() {
        const float* block =
            input.data() + static_cast<std::size_t>(at) * static_cast<std::size_t>(inputsPerCall);
        at = (at + 1) % kBlocks;
        return block;
    }

    static constexpr int kBlocks = 64;
    std::vector<float> taps, input, output;
    int inputsPerCall;
    int callCount;
    int at = 0;
};

// One call `process(in, out, callCount)` per iteration; the items are the
// outputs. The library's allocations during the calls are counted.
template <typename Process> void timeCalls(benchmark::State& state, FirStream& s, Process process) {
    long allocations = 0;
    {
        const BenchAllocationCounter counter;
        for (auto _ : state) {
            process(s.next(), s.output.data(), s.callCount);
            benchmark::DoNotOptimize(s.output.data());
            benchmark::ClobberMemory();
        }
        allocations = BenchAllocationCounter::count();
    }
    reportAllocationsPerCall(state, allocations);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(s.output.size()));
}
