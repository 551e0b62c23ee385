// The 3D speaker virtualizer and the reverberator on 1 ms packets of a
// 48 kHz, 8-channel stream of float planes (48 frames), each against a plain
// copy of the planes. Besides the mean time per packet, every case reports
// the CPU time per second of audio and its slowest packet.
#include "driver/common/sigproc_pool_hooks.h"
#include "driver/effects/hrtf_filter_set.h"
#include "driver/effects/hrtf_room.h"
#include "driver/effects/multi_tap_delay.h"
#include "driver/effects/speaker_map.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kChannels = 8;
constexpr int kFrames = 48;
constexpr int kRate = 48000;
constexpr double kPacketsPerSecond = double(kRate) / kFrames;

struct Packet {
    std::array<std::vector<float>, kChannels> source, planes;
    std::array<float*, kChannels> pointers{};
    Packet() {
        std::mt19937 rng(11);
        std::uniform_real_distribution<float> sample(-0.5f, 0.5f);
        for (int c = 0; c < kChannels; ++c) {
            source[c].resize(kFrames);
            for (float& s : source[c]) s = sample(rng);
            planes[c] = source[c];
            pointers[c] = planes[c].data();
        }
    }
    // A fresh packet each time, as the stream delivers one.
    void Refill() {
        for (int c = 0; c < kChannels; ++c)
            std::memcpy(planes[c].data(), source[c].data(), kFrames * sizeof(float));
    }
};

// Times every packet; reports the mean per second of audio and the slowest.
template <class Work> void RunPackets(benchmark::State& state, Work work) {
    Packet packet;
    double worst = 0.0;
    for (auto _ : state) {
        packet.Refill();
        const auto start = std::chrono::steady_clock::now();
        work(packet.pointers.data());
        const auto stop = std::chrono::steady_clock::now();
        worst = std::max(worst, std::chrono::duration<double, std::micro>(stop - start).count());
        benchmark::ClobberMemory();
    }
    state.counters["worst_packet_us"] = worst;
    // CPU seconds / (iterations / (packets per second x 1000)): milliseconds
    // of CPU per second of audio.
    state.counters["cpu_ms_per_audio_s"] =
        benchmark::Counter(double(state.iterations()) / (kPacketsPerSecond * 1000.0),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void Reference(benchmark::State& state) {
    std::array<std::vector<float>, kChannels> copy;
    for (auto& plane : copy) plane.resize(kFrames);
    RunPackets(state, [&](float* const* planes) {
        for (int c = 0; c < kChannels; ++c)
            std::memcpy(copy[c].data(), planes[c], kFrames * sizeof(float));
        benchmark::DoNotOptimize(copy[0].data());
    });
}

void SpeakerMapAndRoom(benchmark::State& state) {
    const CSigprocPoolHooks poolHooks;
    CSpeakerMap map;
    CHrtfRoom room;
    if (map.Alloc() != 1 || room.CreateFilterSet() != 1) {
        state.SkipWithError("not allocated");
        return;
    }
    room.SetRate(kRate);
    room.Reset();
    map.SetPosition(0, 25.0f, -40.0f);
    map.SetPosition(5, 35.0f, -120.0f);
    RunPackets(state, [&](float* const* planes) {
        map.Process(planes, planes, kFrames);
        room.Process(planes, planes, kFrames);
    });
}

void FilterSet(benchmark::State& state) {
    CHrtfFilterSet set;
    if (!set.Init(kChannels)) {
        state.SkipWithError("not allocated");
        return;
    }
    for (int c = 0; c < kChannels; ++c) {
        HrtfPair left{}, right{};
        LookupHrtfPair(c, kRate, float(CHrtfRoom::HomeAngles[c]), 0.5f, &left, &right);
        set.Load(c, float(CHrtfRoom::HomeAngles[c]), 0.5f, 1.0f, &left, &right);
    }
    RunPackets(state, [&](float* const* planes) { set.Process(planes, planes, kFrames); });
}

void Reverberator(benchmark::State& state) {
    auto reverb = std::unique_ptr<CMultiTapDelay>(new (kernel::PoolType::NonPagedNx, ReverbTag)
                                                      CMultiTapDelay());
    if (!reverb) {
        state.SkipWithError("not allocated");
        return;
    }
    reverb->SetRate(kRate, kChannels - 1);
    RunPackets(state, [&](float* const* planes) { reverb->Process(planes, planes, kFrames); });
}

BENCHMARK(Reference)->Name("fx3d_8ch_48/reference_copy");
BENCHMARK(SpeakerMapAndRoom)->Name("fx3d_8ch_48/speaker_map_and_room");
BENCHMARK(FilterSet)->Name("fx3d_8ch_48/filter_set");
BENCHMARK(Reverberator)->Name("fx3d_8ch_48/reverberator");

} // namespace
