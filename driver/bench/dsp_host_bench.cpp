// The DSP host on one 1 ms render packet of a 48 kHz, 8-channel, 16-bit
// stream: with no node, with the limiter and with the channel mixer in chain
// A, each against a plain copy of the packet.
#include "driver/bench/render_packet.h"
#include "driver/effects/channel_mixer.h"
#include "driver/effects/dsp_host.h"
#include "driver/effects/fir8.h"
#include "driver/tests/dsp_test_node.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

using namespace render_packet;

std::vector<std::int16_t> Packet() { return render_packet::Packet(-32768, 32767); }

void RunHost(benchmark::State& state, IDspNode* node) {
    CDspHost host;
    if (!kernel::succeeded(host.AllocatePacketBuffers()) ||
        !kernel::succeeded(host.SetCurrentWaveFormat(PacketFormat()))) {
        state.SkipWithError("host not set up");
        return;
    }
    if (node != nullptr) host.AddChainANode(node);
    std::vector<std::int16_t> packet = Packet();
    for (auto _ : state) {
        benchmark::DoNotOptimize(host.ProcessAllChains(packet.data(), kPacketBytes));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kPacketBytes);
}

void PacketReference(benchmark::State& state) { CopyPacket(state, Packet()); }

void HostEmpty(benchmark::State& state) { RunHost(state, nullptr); }

void HostLimiter(benchmark::State& state) {
    CFir8 limiter;
    if (limiter.Allocate() != 1) {
        state.SkipWithError("limiter not allocated");
        return;
    }
    limiter.SetMode(0);
    limiter.SetTargetGain(1.0f);
    limiter.SetParam(1.0f);
    const ks::WaveFormatExtensible format = PacketFormat();
    limiter.SetFormat(&format);
    CTestDspNode node([&](const ks::WaveFormatExtensible*, void* planes, std::uint32_t frames) {
        limiter.Process(static_cast<float* const*>(planes), static_cast<int>(frames));
        return kernel::STATUS_SUCCESS;
    });
    RunHost(state, node);
}

void HostMixer(benchmark::State& state) {
    CTestDspNode node([](const ks::WaveFormatExtensible*, void* planes, std::uint32_t frames) {
        MixChannels(static_cast<float* const*>(planes), kChannels, 2, frames, 1);
        return kernel::STATUS_SUCCESS;
    });
    RunHost(state, node);
}

BENCHMARK(PacketReference)->Name("packet_8ch_48/reference_copy");
BENCHMARK(HostEmpty)->Name("packet_8ch_48/host_empty_chain");
BENCHMARK(HostLimiter)->Name("packet_8ch_48/host_limiter");
BENCHMARK(HostMixer)->Name("packet_8ch_48/host_mixer");

} // namespace
