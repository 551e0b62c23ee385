// Products of packed real spectra of length 1024, as the headphone
// virtualizer's convolution forms them, against the plain loop of their
// definition (each bin in double, rounded once) built for the instruction set
// the library's loops run with.
#include "sigproc/core/wide_isa.h"
#include "sigproc/sigproc.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr int kLength = 1024;

std::vector<float> spectrum(std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> v(kLength);
    for (float& f : v) f = value(rng);
    return v;
}

[[gnu::always_inline]] inline void plainMulPack(const float* a, const float* b, float* d, int n) {
    d[0] = static_cast<float>(double{a[0]} * b[0]);
    d[1] = static_cast<float>(double{a[1]} * b[1]);
    for (int i = 2; i + 1 < n; i += 2) {
        const double ar = a[i], ai = a[i + 1], br = b[i], bi = b[i + 1];
        d[i] = static_cast<float>(ar * br - ai * bi);
        d[i + 1] = static_cast<float>(ar * bi + ai * br);
    }
}

using PlainMulPack = void(const float*, const float*, float*, int);
void mulPackBase(const float* a, const float* b, float* d, int n) { plainMulPack(a, b, d, n); }
SIG_TARGET_AVX2 void mulPackAvx2(const float* a, const float* b, float* d, int n) {
    plainMulPack(a, b, d, n);
}
SIG_TARGET_AVX512 void mulPackAvx512(const float* a, const float* b, float* d, int n) {
    plainMulPack(a, b, d, n);
}
const sigWideVariants<PlainMulPack> kPlainMulPack{mulPackBase, mulPackAvx2, mulPackAvx512};

void mulPackLibrary(benchmark::State& state) {
    const std::vector<float> a = spectrum(3), b = spectrum(5);
    std::vector<float> d(kLength);
    for (auto _ : state) {
        sigMulPack_32f(a.data(), b.data(), d.data(), kLength);
        benchmark::DoNotOptimize(d.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kLength);
}

void mulPackReference(benchmark::State& state) {
    const std::vector<float> a = spectrum(3), b = spectrum(5);
    std::vector<float> d(kLength);
    PlainMulPack* loop = kPlainMulPack.select();
    for (auto _ : state) {
        loop(a.data(), b.data(), d.data(), kLength);
        benchmark::DoNotOptimize(d.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kLength);
}

} // namespace

BENCHMARK(mulPackLibrary)->Name("mul_pack_1024/sigMulPack_32f");
BENCHMARK(mulPackReference)->Name("mul_pack_1024/reference_plain_loop");
