// The headphone virtualizer on 1 ms packets of a 48 kHz stream (48 frames):
// 2 and 8 inputs, crosstalk cancellation on and off, each against a plain
// copy of the same planes measured in the same run. Counters: CPU time per
// second of audio (1000 packets), the ratio to the copy, and the worst
// packet seen (the packets that complete a 512-sample block carry the work).
//
// The thread's CPU clock is a system call that costs about as much as a
// tenth of the work of a packet, so it is read once around all packets: the
// loop's CPU time, less that of the same loop with the virtualizer left out
// (the refill and the wall-clock reads), is the virtualizer's. The worst
// packet is wall time, read from the cheap monotonic clock.
#include "driver/bench/thread_seconds.h"
#include "driver/tests/test_planes.h"
#include "driver/zurazuvera/common/VSH/vsh_effect.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kFrames = 48;
constexpr int kPacketsPerSecond = 48000 / kFrames;
constexpr kernel::PoolTag kOwnerTag = kernel::poolTag("VYNE");

struct Packet {
    TestPlanes planes;
    std::vector<float*> pointers;
    explicit Packet(int channels) : planes(NoisePlanes(kFrames, 3)) {
        planes.resize(channels);
        pointers = PlanePointers(planes);
    }
};

// Seconds per packet of copying every plane once.
double CopySeconds(int channels) {
    Packet source(channels);
    Packet target(channels);
    constexpr int rounds = 200000;
    const double start = ThreadSeconds();
    for (int i = 0; i < rounds; ++i) {
        for (int c = 0; c < channels; ++c)
            std::memcpy(target.pointers[c], source.pointers[c], kFrames * sizeof(float));
        benchmark::ClobberMemory();
    }
    return (ThreadSeconds() - start) / rounds;
}

using Fresh = std::vector<std::vector<float>>;

void Refill(Packet& packet, const Fresh& fresh) {
    for (std::size_t c = 0; c < fresh.size(); ++c)
        std::copy(fresh[c].begin(), fresh[c].end(), packet.planes[c].begin());
}

double WallMicroseconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
        .count();
}

// CPU seconds of `packets` rounds of the measured loop with the virtualizer
// left out.
double LoopFrameSeconds(Packet& packet, const Fresh& fresh, std::int64_t packets) {
    double worst = 0.0;
    const double start = ThreadSeconds();
    for (std::int64_t i = 0; i < packets; ++i) {
        const auto wallStart = std::chrono::steady_clock::now();
        benchmark::ClobberMemory();
        worst = std::max(worst, WallMicroseconds(wallStart));
        Refill(packet, fresh);
    }
    benchmark::DoNotOptimize(worst);
    return ThreadSeconds() - start;
}

void Virtualizer(benchmark::State& state) {
    const int channels = static_cast<int>(state.range(0));
    const bool crosstalk = state.range(1) != 0;
    std::unique_ptr<CVshEffect> effect(new (kernel::PoolType::NonPagedNx, kOwnerTag) CVshEffect);
    ks::WaveFormatEx format{};
    format.nChannels = static_cast<std::uint16_t>(channels);
    format.nSamplesPerSec = 48000;
    if (!effect || effect->SetFormat(&format) != 1) {
        state.SkipWithError("virtualizer not set up");
        return;
    }
    effect->SetOutputMode(crosstalk ? 1 : 0);
    effect->SetCTCAngle(3);
    effect->SetEnable(1);
    Packet packet(channels);
    const Fresh fresh = packet.planes;
    double worst = 0.0;
    const double start = ThreadSeconds();
    for (auto _ : state) {
        const auto wallStart = std::chrono::steady_clock::now();
        effect->Process(packet.pointers.data(), kFrames);
        benchmark::ClobberMemory();
        worst = std::max(worst, WallMicroseconds(wallStart));
        Refill(packet, fresh);
    }
    const double loop = ThreadSeconds() - start;
    const std::int64_t packets = std::max<std::int64_t>(state.iterations(), 1);
    const double perPacket =
        std::max(0.0, loop - LoopFrameSeconds(packet, fresh, packets)) / double(packets);
    state.counters["cpu_ms_per_audio_s"] = perPacket * kPacketsPerSecond * 1e3;
    state.counters["share_of_core_pct"] = perPacket * kPacketsPerSecond * 100.0;
    state.counters["ratio_to_copy"] = perPacket / CopySeconds(channels);
    state.counters["worst_packet_us"] = worst;
}

BENCHMARK(Virtualizer)
    ->Name("vsh_48k_48/virtualizer")
    ->ArgNames({"inputs", "crosstalk"})
    ->Args({2, 0})
    ->Args({2, 1})
    ->Args({8, 0})
    ->Args({8, 1});

} // namespace
