// The effect units in a render stream as the USB engines run it: every 1 ms
// packet of a 48 kHz, 8-channel, 16-bit stream through ProcessAllChains
// (chain A holding the units) and then the engine's own limiter pass, each
// case against a plain copy of the packet. Counters give the thread's CPU
// time per second of audio and for the worst packet, and the pool requests
// made while streaming (there must be none).
#include "driver/bench/render_packet.h"
#include "driver/bench/thread_seconds.h"
#include "driver/common/sigproc_pool_hooks.h"
#include "driver/devmodel/chips/q7k2/q7k2_effect_unit.h"
#include "driver/devmodel/chips/q7k2/q7k2_virtualizer_unit.h"
#include "driver/devmodel/chips/t6l1/t6l1_effect_host.h"
#include "driver/devmodel/feature_unit_access.h"
#include "driver/effects/dsp_host.h"
#include "driver/effects/fir8.h"
#include "driver/effects/float_pass.h"
#include "driver/effects/pcm_planes.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/spin_lock.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using namespace render_packet;

constexpr double kPacketsPerSecond = 48000.0 / kFrames;

std::vector<std::int16_t> Packet() { return render_packet::Packet(-8000, 8000); }

// The vendor controls' device: every read is 0, every write accepted.
class CBenchSwitch final : public IFeatureUnitSwitch {
public:
    kernel::NTSTATUS QueryInterface(const kernel::Guid& id, void** object) override {
        *object = this;
        return id == IID_IFeatureUnitSwitch ? kernel::STATUS_SUCCESS
                                            : kernel::STATUS_INVALID_PARAMETER;
    }
    std::uint32_t AddRef() override { return 1; }
    std::uint32_t Release() override { return 1; }
    kernel::NTSTATUS GetByte(std::uint8_t, std::uint32_t, std::uint8_t* value) override {
        *value = 0;
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS SetByte(std::uint8_t, std::uint32_t, std::uint8_t) override {
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS GetChannelCount(std::uint8_t, std::uint32_t* count) override {
        *count = 1;
        return kernel::STATUS_SUCCESS;
    }
};

// Made the way the feature unit and the terminal make them.
template <class Unit> Unit* NewUnit(std::uint32_t id) {
    Unit* unit = new (kernel::PoolType::NonPagedNx, Q7K2Tag) Unit(nullptr, id);
    if (unit != nullptr) unit->NonDelegatingAddRef();
    return unit;
}

// The engine's stream: the chains, then its limiter over the packet in
// blocks under its lock and a floating-point pass.
class CBenchStream {
public:
    bool SetUp() {
        const ks::WaveFormatExtensible format = PacketFormat();
        if (!kernel::succeeded(m_Host.AllocatePacketBuffers()) ||
            !kernel::succeeded(m_Host.SetCurrentWaveFormat(format)) || m_Limiter.Allocate() != 1)
            return false;
        m_Limiter.SetMode(0);
        m_Limiter.SetTargetGain(1.0f);
        m_Limiter.SetParam(1.0f);
        m_Limiter.SetFormat(&format);
        return true;
    }
    CDspHost& Host() { return m_Host; }

    void RenderPacket(std::int16_t* packet) {
        m_Host.ProcessAllChains(packet, kPacketBytes);
        kernel::SpinLockGuard hold(m_Host.GetSpinLock());
        CFloatPass pass;
        if (!pass.Active()) return;
        const ks::WaveFormatExtensible format = PacketFormat();
        PcmToFloatPlanes(packet, m_Host.GetPlanes(), m_Host.GetFloatBuffer(), kFrames, format);
        m_Limiter.Process(m_Host.GetPlanes(), kFrames);
        FloatPlanesToPcm(packet, m_Host.GetPlanes(), m_Host.GetFloatBuffer(), kFrames, format);
    }

private:
    CDspHost m_Host;
    CFir8 m_Limiter;
};

void RunStream(benchmark::State& state, CBenchStream& stream) {
    const std::vector<std::int16_t> source = Packet();
    std::vector<std::int16_t> packet = source;
    double worst = 0;
    double total = 0;
    const std::uint64_t requests = kernel::poolRequestCount();
    for (auto _ : state) {
        std::memcpy(packet.data(), source.data(), kPacketBytes);
        const double start = ThreadSeconds();
        stream.RenderPacket(packet.data());
        const double took = ThreadSeconds() - start;
        worst = std::max(worst, took);
        total += took;
        benchmark::DoNotOptimize(packet.data());
        benchmark::ClobberMemory();
    }
    state.counters["pool_requests"] = static_cast<double>(kernel::poolRequestCount() - requests);
    state.counters["worst_packet_us"] = worst * 1e6;
    if (state.iterations() > 0)
        state.counters["ms_per_audio_second"] =
            total / static_cast<double>(state.iterations()) * kPacketsPerSecond * 1e3;
    state.SetBytesProcessed(state.iterations() * kPacketBytes);
}

void PacketReference(benchmark::State& state) { CopyPacket(state, Packet()); }

// Both Q7K2 units in chain A, the virtualizer on in headphone mode as Init
// leaves it; the reverberator off or on.
void Q7K2Units(benchmark::State& state, bool reverberatorOn) {
    const CSigprocPoolHooks poolHooks;
    CBenchSwitch device;
    CQ7K2EffectUnit* reverberator = NewUnit<CQ7K2EffectUnit>(2);
    CQ7K2VirtualizerUnit* virtualizer = NewUnit<CQ7K2VirtualizerUnit>(3);
    CBenchStream stream;
    const ks::WaveFormatExtensible format = PacketFormat();
    if (reverberator == nullptr || virtualizer == nullptr || !stream.SetUp() ||
        !kernel::succeeded(reverberator->Init(&device, 139, nullptr)) ||
        !kernel::succeeded(virtualizer->Init(&device, 140, nullptr))) {
        state.SkipWithError("units not set up");
    } else {
        reverberator->SetFormat(&format);
        virtualizer->SetFormat(&format);
        reverberator->SetEnable(reverberatorOn ? 1 : 0);
        virtualizer->SetEnable(1);
        stream.Host().AddChainANode(reverberator);
        stream.Host().AddChainANode(virtualizer);
        RunStream(state, stream);
    }
    if (reverberator != nullptr) reverberator->NonDelegatingRelease();
    if (virtualizer != nullptr) virtualizer->NonDelegatingRelease();
}

void Q7K2ReverberatorOff(benchmark::State& state) { Q7K2Units(state, false); }
void Q7K2ReverberatorOn(benchmark::State& state) { Q7K2Units(state, true); }

void T6L1Host(benchmark::State& state) {
    const CSigprocPoolHooks poolHooks;
    CT6L1EffectHost* host = new (kernel::PoolType::NonPagedNx, T6L1Tag) CT6L1EffectHost(nullptr, 4);
    if (host != nullptr) host->NonDelegatingAddRef();
    CBenchStream stream;
    const ks::WaveFormatExtensible format = PacketFormat();
    const std::uint32_t on = 1;
    if (host == nullptr || !stream.SetUp() || !kernel::succeeded(host->Init(nullptr, nullptr, 0)) ||
        !kernel::succeeded(host->SetValues(0, 1, &on)) ||
        !kernel::succeeded(host->SetFormat(&format))) {
        state.SkipWithError("host not set up");
    } else {
        stream.Host().AddChainANode(host);
        RunStream(state, stream);
    }
    if (host != nullptr) host->NonDelegatingRelease();
}

BENCHMARK(PacketReference)->Name("units_8ch_48/reference_copy");
BENCHMARK(Q7K2ReverberatorOff)->Name("units_8ch_48/q7k2_virtualizer_on_reverberator_off");
BENCHMARK(Q7K2ReverberatorOn)->Name("units_8ch_48/q7k2_both_on");
BENCHMARK(T6L1Host)->Name("units_8ch_48/t6l1_host_on");

} // namespace
