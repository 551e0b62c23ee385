// Vector power and the PCM conversions of the stream engines, on the block
// sizes the driver uses, each against a plain loop doing the same work.
#include "sigproc/core/wide_isa.h"
#include "sigproc/sigproc.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr int kPowLength = 480;

// Gains as the driver forms them: 10 raised to levels in decibels / 20.
struct PowInputs {
    std::vector<float> bases = std::vector<float>(kPowLength, 10.0f);
    std::vector<float> exponents;
    std::vector<float> out = std::vector<float>(kPowLength);
    PowInputs() {
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> levels(-96.0f, 12.0f);
        for (int i = 0; i < kPowLength; ++i) exponents.push_back(levels(rng) / 20.0f);
    }
};

// Runs `block` once per iteration and keeps its output alive.
template <typename Block>
void timeBlock(benchmark::State& state, int items, const void* out, Block block) {
    for (auto _ : state) {
        block();
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * items);
}

void powLibrary(benchmark::State& state) {
    PowInputs in;
    timeBlock(state, kPowLength, in.out.data(),
              [&] { sigPow_32f(in.bases.data(), in.exponents.data(), in.out.data(), kPowLength); });
}

void powReference(benchmark::State& state) {
    PowInputs in;
    timeBlock(state, kPowLength, in.out.data(), [&] {
        for (int i = 0; i < kPowLength; ++i) in.out[i] = std::pow(in.bases[i], in.exponents[i]);
    });
}

// Samples of a render stream as floats (a few beyond full scale, and halves
// that the nearest modes must break as ties) and of a capture stream as PCM.
std::vector<float> floatSamples(int count) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> sample(-1.05f, 1.05f);
    std::vector<float> v(static_cast<std::size_t>(count));
    for (float& f : v) f = sample(rng);
    for (std::size_t i = 0; i < v.size(); i += 7)
        v[i] = (std::floor(v[i] * 32768.0f) + 0.5f) / 32768.0f;
    return v;
}

std::vector<std::int16_t> pcmSamples(int count) {
    std::mt19937 rng(13);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::vector<std::int16_t> v(static_cast<std::size_t>(count));
    for (auto& s : v) s = static_cast<std::int16_t>(sample(rng));
    return v;
}

// The plain loops the conversions are measured against, built for the
// instruction set the library's conversions run with on this machine: the
// clamp-and-cast render loop, the same with the rounding instruction, and the
// capture road's multiply. They work in single precision and round by the
// current mode; the library gives the same values where both are defined.
[[gnu::always_inline]] inline void plainTruncate(const float* src, std::int16_t* dst, int n) {
    for (int i = 0; i < n; ++i)
        dst[i] = static_cast<std::int16_t>(std::clamp(src[i] * 32768.0f, -32768.0f, 32767.0f));
}
[[gnu::always_inline]] inline void plainNearest(const float* src, std::int16_t* dst, int n) {
    for (int i = 0; i < n; ++i) {
        const float scaled = std::clamp(src[i] * 32768.0f, -32768.0f, 32767.0f);
        dst[i] = static_cast<std::int16_t>(std::nearbyint(scaled));
    }
}
[[gnu::always_inline]] inline void plainToFloat(const std::int16_t* src, float* dst, int n) {
    for (int i = 0; i < n; ++i) dst[i] = float(src[i]) * (1.0f / 32768.0f);
}

using PlainTo16 = void(const float*, std::int16_t*, int);
using PlainToFloat = void(const std::int16_t*, float*, int);

void truncateBase(const float* s, std::int16_t* d, int n) { plainTruncate(s, d, n); }
SIG_TARGET_AVX2 void truncateAvx2(const float* s, std::int16_t* d, int n) {
    plainTruncate(s, d, n);
}
SIG_TARGET_AVX512 void truncateAvx512(const float* s, std::int16_t* d, int n) {
    plainTruncate(s, d, n);
}
void nearestBase(const float* s, std::int16_t* d, int n) { plainNearest(s, d, n); }
SIG_TARGET_AVX2 void nearestAvx2(const float* s, std::int16_t* d, int n) { plainNearest(s, d, n); }
SIG_TARGET_AVX512 void nearestAvx512(const float* s, std::int16_t* d, int n) {
    plainNearest(s, d, n);
}
void toFloatBase(const std::int16_t* s, float* d, int n) { plainToFloat(s, d, n); }
SIG_TARGET_AVX2 void toFloatAvx2(const std::int16_t* s, float* d, int n) { plainToFloat(s, d, n); }
SIG_TARGET_AVX512 void toFloatAvx512(const std::int16_t* s, float* d, int n) {
    plainToFloat(s, d, n);
}

const sigWideVariants<PlainTo16> kPlainTruncate{truncateBase, truncateAvx2, truncateAvx512};
const sigWideVariants<PlainTo16> kPlainNearest{nearestBase, nearestAvx2, nearestAvx512};
const sigWideVariants<PlainToFloat> kPlainToFloat{toFloatBase, toFloatAvx2, toFloatAvx512};

// The render road: scale factor -15, truncating (mode 0) or to nearest even (mode 1).
void toPcmLibrary(benchmark::State& state, int count, int mode) {
    const std::vector<float> src = floatSamples(count);
    std::vector<std::int16_t> dst(src.size());
    timeBlock(state, count, dst.data(),
              [&] { sigConvertScaled_32f16s(src.data(), dst.data(), count, mode, -15); });
}

void toPcmReference(benchmark::State& state, int count, int mode) {
    const std::vector<float> src = floatSamples(count);
    std::vector<std::int16_t> dst(src.size());
    PlainTo16* loop = (mode == 0 ? kPlainTruncate : kPlainNearest).select();
    timeBlock(state, count, dst.data(), [&] { loop(src.data(), dst.data(), count); });
}

// The capture road: scale factor 15.
void toFloatLibrary(benchmark::State& state, int count) {
    const std::vector<std::int16_t> src = pcmSamples(count);
    std::vector<float> dst(src.size());
    timeBlock(state, count, dst.data(),
              [&] { sigConvertScaled_16s32f(src.data(), dst.data(), count, 15); });
}

void toFloatReference(benchmark::State& state, int count) {
    const std::vector<std::int16_t> src = pcmSamples(count);
    std::vector<float> dst(src.size());
    PlainToFloat* loop = kPlainToFloat.select();
    timeBlock(state, count, dst.data(), [&] { loop(src.data(), dst.data(), count); });
}

} // namespace

BENCHMARK(powLibrary)->Name("pow_480/sigPow_32f");
BENCHMARK(powReference)->Name("pow_480/reference_std_pow_loop");
// 96 samples: one 1 ms packet of 48 kHz stereo; 4800: a 50 ms period.
BENCHMARK_CAPTURE(toPcmLibrary, t96, 96, 0)->Name("float_to_16s_trunc_96/sigConvertScaled_32f16s");
BENCHMARK_CAPTURE(toPcmReference, t96, 96, 0)->Name("float_to_16s_trunc_96/reference_plain_loop");
BENCHMARK_CAPTURE(toPcmLibrary, t4800, 4800, 0)
    ->Name("float_to_16s_trunc_4800/sigConvertScaled_32f16s");
BENCHMARK_CAPTURE(toPcmReference, t4800, 4800, 0)
    ->Name("float_to_16s_trunc_4800/reference_plain_loop");
BENCHMARK_CAPTURE(toPcmLibrary, n96, 96, 1)->Name("float_to_16s_even_96/sigConvertScaled_32f16s");
BENCHMARK_CAPTURE(toPcmReference, n96, 96, 1)->Name("float_to_16s_even_96/reference_plain_loop");
BENCHMARK_CAPTURE(toPcmLibrary, n4800, 4800, 1)
    ->Name("float_to_16s_even_4800/sigConvertScaled_32f16s");
BENCHMARK_CAPTURE(toPcmReference, n4800, 4800, 1)
    ->Name("float_to_16s_even_4800/reference_plain_loop");
BENCHMARK_CAPTURE(toFloatLibrary, f96, 96)->Name("16s_to_float_96/sigConvertScaled_16s32f");
BENCHMARK_CAPTURE(toFloatReference, f96, 96)->Name("16s_to_float_96/reference_plain_loop");
BENCHMARK_CAPTURE(toFloatLibrary, f4800, 4800)->Name("16s_to_float_4800/sigConvertScaled_16s32f");
BENCHMARK_CAPTURE(toFloatReference, f4800, 4800)->Name("16s_to_float_4800/reference_plain_loop");
