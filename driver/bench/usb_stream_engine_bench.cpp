// The USB stream engines' cost: one simulated second of 8-channel 48 kHz
// playback in lockstep per iteration, a client that copies its audio into
// every packet, the limiter on. Release 1 at 16 bits on a full-speed bus,
// release 2 at 24 bits on a high-speed bus with feedback, and the effect
// engine sending the client's first two channels to a stereo release 1
// device at 16 bits, and the release 1 engine with the N3W8 model's chain A
// (channel swap, attenuation at -12 dB, software volume at -6 dB). Each
// engine case
// has the simulator alone streaming the same shape beside it (its cost is
// taken off), and a plain copy of the same audio is the reference. Every case
// reports the process's CPU milliseconds per second of audio.
#include "driver/devmodel/chips/n3w8/n3w8_control_nodes.h"
#include "driver/devmodel/chips/n3w8/n3w8_dsp_nodes.h"
#include "driver/tests/sim/fake_feature_unit.h"
#include "driver/tests/usbstream/stream_test_adapter.h"
#include "driver/tests/usbstream/stream_test_client.h"
#include "driver/tests/usbstream/test_clock_source.h"
#include "driver/usbstream/usb_stream_engine_create.h"
#include "platform/kernel/pool.h"
#include "sim/usb/fixtures.h"
#include "sim/usb/tests/stream_driver.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

using usbstream_test::CStreamTestAdapter;
using usbstream_test::CTestClockSource;

constexpr std::uint32_t Rate = 48000;
constexpr std::uint16_t Channels = 8;
constexpr std::uint32_t SecondFrames = 1000;
constexpr kernel::PoolTag BenchTag = kernel::poolTag("Bnch");

struct Shape {
    usb::AudioRelease release;
    std::uint16_t sampleBytes;
    std::uint8_t interface;
    std::uint8_t setting;
    std::uint8_t endpoint;
    std::uint32_t packetsPerMs;
    UsbStreamKind kind;
    std::uint16_t deviceChannels;
};
constexpr Shape Uac1{usb::AudioRelease::uac1, 2, 1, 1, 0x01, 1, UsbStreamKind::uac1Render, 8};
constexpr Shape Uac2{usb::AudioRelease::uac2, 3, 1, 1, 0x01, 8, UsbStreamKind::uac2Render, 8};
constexpr Shape Effect{usb::AudioRelease::uac1, 2, 1, 1, 0x01, 1, UsbStreamKind::effectRender, 2};

// A client frame, and a frame on the bus.
std::uint32_t FrameBytes(const Shape& shape) { return Channels * shape.sampleBytes; }
std::uint32_t DeviceFrameBytes(const Shape& shape) {
    return shape.deviceChannels * shape.sampleBytes;
}

usbsim::FunctionDescription Device(const Shape& shape) {
    if (shape.kind == UsbStreamKind::effectRender) {
        usbsim::FunctionDescription d = usbsim::fixtures::t6l1Device();
        usbsim::AlternateSetting& setting = d.streaming[0].settings[0];
        setting.format.rates = {Rate};
        setting.data.maxPacketSize =
            static_cast<std::uint16_t>((Rate / 1000 + 1) * DeviceFrameBytes(shape));
        return d;
    }
    usbsim::FunctionDescription d = shape.release == usb::AudioRelease::uac1
                                        ? usbsim::fixtures::uac1Headset()
                                        : usbsim::fixtures::uac2FeedbackDevice();
    usbsim::AlternateSetting& setting = d.streaming[0].settings[0];
    setting.format.channels = Channels;
    setting.format.channelConfig = 0xFF;
    setting.format.subslotSize = static_cast<std::uint8_t>(shape.sampleBytes);
    setting.format.bitResolution = static_cast<std::uint8_t>(shape.sampleBytes * 8);
    setting.format.rates = {Rate};
    setting.data.maxPacketSize =
        static_cast<std::uint16_t>((Rate / 1000 / shape.packetsPerMs + 1) * FrameBytes(shape));
    return d;
}

ks::WaveFormatExtensible Format(const Shape& shape) {
    ks::WaveFormatExtensible format{};
    format.Format.wFormatTag = ks::format_tag::extensible;
    format.Format.nChannels = Channels;
    format.Format.nSamplesPerSec = Rate;
    format.Format.wBitsPerSample = static_cast<std::uint16_t>(shape.sampleBytes * 8);
    format.Format.nBlockAlign = static_cast<std::uint16_t>(FrameBytes(shape));
    format.Format.nAvgBytesPerSec = Rate * FrameBytes(shape);
    format.Format.cbSize = 22;
    format.wValidBitsPerSample = format.Format.wBitsPerSample;
    format.dwChannelMask = 0xFF;
    format.SubFormat = ks::subFormatOf(ks::format_tag::pcm);
    return format;
}

// User-mode CPU time of this thread, which runs every completion, build and
// DSP pass (the deferred calls run on the thread that steps the clock). The
// kernel time the platform's lockstep hand-over with the worker thread costs
// (futex waits and wakes, none of which a real system has) stays out.
double ThreadUserMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec) * 1e3 +
           static_cast<double>(usage.ru_utime.tv_usec) / 1e3;
}

// A client that copies its audio, a quiet signal, into every packet.
struct CopyingClient {
    static void Heard(void* context, void* argument, void*) {
        const auto& message = *static_cast<const StreamMessage*>(argument);
        auto* self = static_cast<CopyingClient*>(context);
        if (message.Code != stream_message::fillPacket || message.Client != self->record) return;
        const auto bytes = static_cast<std::size_t>(message.Argument2);
        if (bytes > self->audio.size()) return;
        std::memcpy(reinterpret_cast<void*>(message.Argument1), self->audio.data(), bytes);
    }
    std::vector<std::uint8_t> audio = std::vector<std::uint8_t>(8192, 0x11);
    UsbStreamClientRecord* record = nullptr;
};

// Accumulates CPU time over timed parts and reports it per second of audio.
class CpuMeter {
public:
    void Start() { m_Started = ThreadUserMilliseconds(); }
    void Stop() { m_Total += ThreadUserMilliseconds() - m_Started; }
    void Report(benchmark::State& state) const {
        state.counters["cpu_ms_per_audio_s"] =
            m_Total /
            static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    }

private:
    double m_Started = 0;
    double m_Total = 0;
};

// The N3W8 model's render nodes in an engine's chain A, as its walks leave
// them: the playback unit's software volume (every channel at -6 dB, bound
// to a stand-in unit that holds the values), the attenuation (mode 1) and
// the channel swap. The engine holds the nodes; the unit is the caller's.
class N3W8ChainA {
public:
    N3W8ChainA() {
        CreateDriverObject<devmodel_test::CFakeFeatureUnit>(&m_pUnit, nullptr,
                                                            kernel::PoolType::NonPagedNx, BenchTag);
        if (m_pUnit == nullptr) return;
        m_pUnit->controls[2] = {std::vector<std::int32_t>(8, -6 * 65536), 0, -36 * 65536, 256};
    }
    ~N3W8ChainA() {
        if (m_pUnit != nullptr) m_pUnit->NonDelegatingRelease();
    }
    N3W8ChainA(const N3W8ChainA&) = delete;
    N3W8ChainA& operator=(const N3W8ChainA&) = delete;

    bool AddTo(CUsbStreamEngine& engine) {
        if (m_pUnit == nullptr) return false;
        CN3W8SoftVolumeNode* volume = nullptr;
        CN3W8AttenuateNode* attenuate = nullptr;
        CN3W8ChannelSwapNode* swap = nullptr;
        CreateDriverObject<CN3W8SoftVolumeNode>(&volume, nullptr, kernel::PoolType::NonPagedNx,
                                                BenchTag, 0u);
        CreateDriverObject<CN3W8AttenuateNode>(&attenuate, nullptr, kernel::PoolType::NonPagedNx,
                                               BenchTag,
                                               std::uint32_t{CN3W8AttenuateNode::Quarter});
        CreateDriverObject<CN3W8ChannelSwapNode>(&swap, nullptr, kernel::PoolType::NonPagedNx,
                                                 BenchTag);
        bool added =
            volume != nullptr && attenuate != nullptr && swap != nullptr &&
            kernel::succeeded(volume->Bind(static_cast<IFeatureUnitSwitch*>(m_pUnit), 2, nullptr));
        for (IDspNode* node : {static_cast<IDspNode*>(volume), static_cast<IDspNode*>(attenuate),
                               static_cast<IDspNode*>(swap)})
            added = added && kernel::succeeded(engine.AddChainANode(node));
        added = added && kernel::succeeded(engine.AllocatePacketBuffers());
        if (volume != nullptr) volume->NonDelegatingRelease();
        if (attenuate != nullptr) attenuate->NonDelegatingRelease();
        if (swap != nullptr) swap->NonDelegatingRelease();
        return added;
    }

private:
    devmodel_test::CFakeFeatureUnit* m_pUnit = nullptr;
};

void EngineStream(benchmark::State& state, const Shape& shape, bool n3w8ChainA = false) {
    CpuMeter meter;
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        state.PauseTiming();
        usbsimtest::BusStack stack(Device(shape));
        CStreamTestAdapter* adapter = nullptr;
        CreateDriverObject<CStreamTestAdapter>(&adapter, nullptr, kernel::PoolType::NonPagedNx,
                                               BenchTag);
        adapter->Attach(&stack);
        CTestClockSource* clock = nullptr;
        CreateDriverObject<CTestClockSource>(&clock, nullptr, kernel::PoolType::NonPagedNx,
                                             BenchTag, 10u, static_cast<IUsbDevice*>(adapter));
        adapter->AddChildObject(clock);
        CUsbStreamEngine* engine = nullptr;
        CreateUsbStreamEngine(&engine, shape.kind, nullptr, shape.interface, 1, 10);
        engine->InitStream(0, static_cast<IUsbDevice*>(adapter));
        N3W8ChainA chain;
        const bool chained = !n3w8ChainA || chain.AddTo(*engine);
        const ks::WaveFormatExtensible format = Format(shape);
        engine->AddUsbFormat(&format, shape.setting);
        CopyingClient client;
        std::uint32_t a = 0, b = 0, frame = 0;
        const bool ready = kernel::succeeded(engine->RegisterClient(WaveClientPriority, &format, 10,
                                                                    10, &CopyingClient::Heard,
                                                                    &client, &client.record)) &&
                           kernel::succeeded(engine->OpenClient(client.record->RegistrationHandle,
                                                                &a, &b, &frame)) &&
                           kernel::succeeded(engine->StartClient(client.record->RegistrationHandle,
                                                                 frame + 2, &a, &b, nullptr)) &&
                           engine->GetLimiter() != nullptr && chained;
        state.ResumeTiming();

        const std::uint64_t serial = kernel::poolAllocationSerial();
        meter.Start();
        if (ready) usbsim::advanceFrames(stack.clock, SecondFrames);
        meter.Stop();
        allocations += kernel::poolAllocationSerial() - serial;

        state.PauseTiming();
        if (!ready) state.SkipWithError("the stream did not start");
        if (client.record != nullptr) {
            const void* handle = client.record->RegistrationHandle;
            usbstream_test::Drive(stack.clock, [&] {
                engine->StopClient(handle, nullptr);
                engine->CloseClient(handle);
            });
            engine->UnregisterClient(handle);
        }
        engine->NonDelegatingRelease();
        clock->NonDelegatingRelease();
        adapter->NonDelegatingRelease();
        state.ResumeTiming();
    }
    meter.Report(state);
    state.counters["pool_allocations"] = static_cast<double>(allocations);
}

// The simulator alone: a driver-side loop with the engine's shape (ten
// 10 ms transfers in flight) and no work per packet.
void SimulatorStream(benchmark::State& state, const Shape& shape) {
    CpuMeter meter;
    for (auto _ : state) {
        state.PauseTiming();
        usbsimtest::StreamWorld world(Device(shape));
        const usb::PipeHandle pipe =
            world.driver.selectSetting(shape.interface, shape.setting, shape.endpoint);
        const bool ready =
            pipe != nullptr &&
            kernel::succeeded(shape.release == usb::AudioRelease::uac1
                                  ? world.driver.setEndpointRate(shape.endpoint, Rate)
                                  : world.driver.setClockRate(10, Rate));
        usbsimtest::IsoStream stream(world.driver, pipe,
                                     {.rate = Rate,
                                      .packetsPerMillisecond = shape.packetsPerMs,
                                      .frameBytes = DeviceFrameBytes(shape)},
                                     10 * shape.packetsPerMs, 10);
        state.ResumeTiming();

        meter.Start();
        if (ready) {
            stream.start();
            usbsim::advanceFrames(world.clock, SecondFrames);
        }
        meter.Stop();

        state.PauseTiming();
        if (!ready) state.SkipWithError("the setting could not be selected");
        world.drain(stream);
        state.ResumeTiming();
    }
    meter.Report(state);
}

// A plain copy of one second of the audio, a packet at a time.
void ReferenceCopy(benchmark::State& state, const Shape& shape) {
    const std::size_t packetBytes = Rate / 1000 * FrameBytes(shape);
    std::vector<std::uint8_t> source(packetBytes, 0x11), packet(packetBytes);
    CpuMeter meter;
    for (auto _ : state) {
        meter.Start();
        for (std::uint32_t i = 0; i < SecondFrames; ++i) {
            std::memcpy(packet.data(), source.data(), packetBytes);
            benchmark::DoNotOptimize(packet.data());
            benchmark::ClobberMemory();
        }
        meter.Stop();
    }
    meter.Report(state);
}

BENCHMARK_CAPTURE(EngineStream, uac1_16bit_full_speed, Uac1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SimulatorStream, uac1_16bit_full_speed, Uac1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReferenceCopy, uac1_16bit_full_speed, Uac1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EngineStream, n3w8_chain_a_16bit_full_speed, Uac1, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReferenceCopy, n3w8_chain_a_16bit_full_speed, Uac1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EngineStream, effect_8_to_2_channels_16bit, Effect)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SimulatorStream, effect_8_to_2_channels_16bit, Effect)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReferenceCopy, effect_8_to_2_channels_16bit, Effect)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EngineStream, uac2_24bit_high_speed_feedback, Uac2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SimulatorStream, uac2_24bit_high_speed_feedback, Uac2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReferenceCopy, uac2_24bit_high_speed_feedback, Uac2)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
