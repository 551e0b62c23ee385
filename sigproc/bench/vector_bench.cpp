// Vector power and the PCM conversions of the stream engines, on the block
// sizes the driver uses, each against a plain loop doing the same work.
#include "sigproc/sigproc.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr int kPowLength = 480;
constexpr int kPacketSamples = 48 * 2; // one 1 ms packet of 48 kHz stereo

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

std::vector<float> packetOfFloats() {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    std::vector<float> v(kPacketSamples);
    for (float& f : v) f = sample(rng);
    return v;
}

std::vector<std::int16_t> packetOfPcm() {
    std::mt19937 rng(13);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::vector<std::int16_t> v(kPacketSamples);
    for (auto& s : v) s = static_cast<std::int16_t>(sample(rng));
    return v;
}

// The render road: truncation, scale factor -15.
void toPcmLibrary(benchmark::State& state) {
    const std::vector<float> src = packetOfFloats();
    std::vector<std::int16_t> dst(kPacketSamples);
    timeBlock(state, kPacketSamples, dst.data(),
              [&] { sigConvertScaled_32f16s(src.data(), dst.data(), kPacketSamples, 0, -15); });
}

void toPcmReference(benchmark::State& state) {
    const std::vector<float> src = packetOfFloats();
    std::vector<std::int16_t> dst(kPacketSamples);
    timeBlock(state, kPacketSamples, dst.data(), [&] {
        for (int i = 0; i < kPacketSamples; ++i) {
            const float scaled = std::clamp(src[i] * 32768.0f, -32768.0f, 32767.0f);
            dst[i] = static_cast<std::int16_t>(scaled);
        }
    });
}

// The capture road: scale factor 15.
void toFloatLibrary(benchmark::State& state) {
    const std::vector<std::int16_t> src = packetOfPcm();
    std::vector<float> dst(kPacketSamples);
    timeBlock(state, kPacketSamples, dst.data(),
              [&] { sigConvertScaled_16s32f(src.data(), dst.data(), kPacketSamples, 15); });
}

void toFloatReference(benchmark::State& state) {
    const std::vector<std::int16_t> src = packetOfPcm();
    std::vector<float> dst(kPacketSamples);
    timeBlock(state, kPacketSamples, dst.data(), [&] {
        for (int i = 0; i < kPacketSamples; ++i) dst[i] = float(src[i]) * (1.0f / 32768.0f);
    });
}

} // namespace

BENCHMARK(powLibrary)->Name("pow_480/sigPow_32f");
BENCHMARK(powReference)->Name("pow_480/reference_std_pow_loop");
BENCHMARK(toPcmLibrary)->Name("float_to_16s_48x2/sigConvertScaled_32f16s");
BENCHMARK(toPcmReference)->Name("float_to_16s_48x2/reference_scalar_loop");
BENCHMARK(toFloatLibrary)->Name("16s_to_float_48x2/sigConvertScaled_16s32f");
BENCHMARK(toFloatReference)->Name("16s_to_float_48x2/reference_scalar_loop");
