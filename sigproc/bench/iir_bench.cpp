// The headphone virtualizer's rate-converter IIR (third order, every step in
// double) as its frame driver runs it at 48 kHz: 576-sample passes over the
// 8 input channels and over the 2 output channels of a block. Each case
// filters the channels side by side through sigIirProcessChannels_32f,
// beside the reference: the same channels one after another through
// sigIirProcess_32f, which gives the same bits.
#include "sigproc/sigproc.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

constexpr int kPass = 576;
constexpr float kTaps[8] = {1.0f / 6.0f, 0.5f, 0.5f, 1.0f / 6.0f, 1.0f, -0.0f, 1.0f / 3.0f, -0.0f};

struct Channels {
    std::vector<sigIirState*> states;
    std::vector<std::vector<float>> in, out;
    std::vector<const float*> src;
    std::vector<float*> dst;

    explicit Channels(int count) {
        std::uint32_t seed = 1;
        for (int c = 0; c < count; ++c) {
            sigIirState* state = nullptr;
            sigIirInitAlloc_32f(&state, kTaps, 3, nullptr);
            states.push_back(state);
            std::vector<float> plane(kPass);
            for (float& s : plane) {
                seed = seed * 1103515245u + 12345u;
                s = static_cast<float>(static_cast<std::int32_t>(seed)) / 4294967296.0f;
            }
            in.push_back(plane);
            out.emplace_back(kPass);
        }
        for (int c = 0; c < count; ++c) {
            src.push_back(in[c].data());
            dst.push_back(out[c].data());
        }
    }
    ~Channels() {
        for (sigIirState* state : states) sigIirFree_32f(state);
    }
    Channels(const Channels&) = delete;
    Channels& operator=(const Channels&) = delete;
};

void sideBySide(benchmark::State& state, int count) {
    Channels channels(count);
    for (auto _ : state) {
        sigIirProcessChannels_32f(channels.src.data(), channels.dst.data(), kPass,
                                  channels.states.data(), count);
        benchmark::ClobberMemory();
    }
}

void oneAtATime(benchmark::State& state, int count) {
    Channels channels(count);
    for (auto _ : state) {
        for (int c = 0; c < count; ++c)
            sigIirProcess_32f(channels.src[c], channels.dst[c], kPass, channels.states[c]);
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK_CAPTURE(sideBySide, 8, 8)->Name("iir3_8x576/sigIirProcessChannels_32f");
BENCHMARK_CAPTURE(oneAtATime, 8, 8)->Name("iir3_8x576/reference_sigIirProcess_32f_each");
BENCHMARK_CAPTURE(sideBySide, 2, 2)->Name("iir3_2x576/sigIirProcessChannels_32f");
BENCHMARK_CAPTURE(oneAtATime, 2, 2)->Name("iir3_2x576/reference_sigIirProcess_32f_each");
