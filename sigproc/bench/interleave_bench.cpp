// Eight channels of a 1 ms packet at 48 kHz moved from interleaved frames to
// planes and back, as the effect passes do around every packet, against the
// plain loops (channel after channel, frame by frame) built for the
// instruction set the library's loops run with.
#include "sigproc/core/wide_isa.h"
#include "sigproc/sigproc.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kChannels = 8;
constexpr int kFrames = 48;

struct Packet {
    std::vector<float> frames = std::vector<float>(kChannels * kFrames, 0.25f);
    std::vector<std::vector<float>> storage =
        std::vector<std::vector<float>>(kChannels, std::vector<float>(kFrames));
    float* planes[kChannels];
    Packet() {
        for (int c = 0; c < kChannels; ++c) planes[c] = storage[std::size_t(c)].data();
    }
};

[[gnu::always_inline]] inline void plainRoundTrip(float* frames, float* const* planes) {
    for (int c = 0; c < kChannels; ++c)
        for (int k = 0; k < kFrames; ++k) planes[c][k] = frames[k * kChannels + c];
    for (int c = 0; c < kChannels; ++c)
        for (int k = 0; k < kFrames; ++k) frames[k * kChannels + c] = planes[c][k];
}

using PlainRoundTrip = void(float*, float* const*);
void roundTripBase(float* f, float* const* p) { plainRoundTrip(f, p); }
SIG_TARGET_AVX2 void roundTripAvx2(float* f, float* const* p) { plainRoundTrip(f, p); }
SIG_TARGET_AVX512 void roundTripAvx512(float* f, float* const* p) { plainRoundTrip(f, p); }
const sigWideVariants<PlainRoundTrip> kPlainRoundTrip{roundTripBase, roundTripAvx2,
                                                      roundTripAvx512};

void roundTripLibrary(benchmark::State& state) {
    Packet packet;
    for (auto _ : state) {
        sigDeinterleave_32f(packet.frames.data(), kChannels, kFrames, packet.planes);
        sigInterleave_32f(packet.planes, kChannels, kFrames, packet.frames.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kChannels * kFrames);
}

void roundTripReference(benchmark::State& state) {
    Packet packet;
    PlainRoundTrip* loop = kPlainRoundTrip.select();
    for (auto _ : state) {
        loop(packet.frames.data(), packet.planes);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kChannels * kFrames);
}

} // namespace

BENCHMARK(roundTripLibrary)->Name("planes_8x48/sigDeinterleave_32f_sigInterleave_32f");
BENCHMARK(roundTripReference)->Name("planes_8x48/reference_plain_loop");
