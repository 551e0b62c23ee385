#include "sigproc/bench/fft/fft_cases.h"

#include <fftw3.h>

#include <random>
#include <string>
#include <xmmintrin.h>

namespace fft_bench {

void flushDenormals() { _mm_setcsr(_mm_getcsr() | 0x8040); }

void fillRandom(float* data, std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (std::size_t i = 0; i < count; ++i) data[i] = uniform(generator);
}

void fftwTransform(benchmark::State& state, int order, bool inverse, unsigned seed) {
    flushDenormals();
    const int n = 1 << order;
    auto* data = static_cast<float*>(fftwf_malloc(sizeof(float) * static_cast<std::size_t>(n + 2)));
    auto* bins = reinterpret_cast<fftwf_complex*>(data);
    fftwf_plan plan = inverse ? fftwf_plan_dft_c2r_1d(n, bins, data, FFTW_MEASURE)
                              : fftwf_plan_dft_r2c_1d(n, data, bins, FFTW_MEASURE);
    fillRandom(data, static_cast<std::size_t>(n + 2), seed);
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(data);
}

bool registerCases(const char* forward, const char* inverse, std::initializer_list<int> orders,
                   std::span<const Contender> contenders) {
    for (const char* direction : {forward, inverse}) {
        const bool isInverse = direction == inverse;
        for (int order : orders) {
            for (const Contender& contender : contenders) {
                const std::string name = std::string(direction) + "_order_" +
                                         (order < 10 ? "0" : "") + std::to_string(order) + "/" +
                                         contender.name;
                benchmark::RegisterBenchmark(name.c_str(), [body = contender.body, order,
                                                            isInverse](benchmark::State& state) {
                    body(state, order, isInverse);
                });
            }
        }
    }
    return true;
}

} // namespace fft_bench
