// What the FFT benchmarks share: the flushed denormals of the driver's signal
// path, random input, FFTW's in-place real transform and the naming of cases.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <initializer_list>
#include <span>

namespace fft_bench {

void flushDenormals();

// Uniform in [-1, 1), the same values every run for one seed.
void fillRandom(float* data, std::size_t count, unsigned seed);

// FFTW's in-place single-precision real transform with a measured plan:
// n/2 + 1 complex bins over n + 2 floats.
void fftwTransform(benchmark::State& state, int order, bool inverse, unsigned seed);

using Body = void (*)(benchmark::State&, int, bool);

struct Contender {
    const char* name; // "reference..." marks the case's reference
    Body body;
};

// "<direction>_order_<two digits>/<name>" for every contender in every order,
// first direction forward, second inverse.
bool registerCases(const char* forward, const char* inverse, std::initializer_list<int> orders,
                   std::span<const Contender> contenders);

} // namespace fft_bench
