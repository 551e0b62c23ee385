// The ASIO interface's cost: one simulated second of 8-channel 16-bit 48 kHz
// audio per iteration through a client's rings, render to the device or
// capture from it, with 64- and 256-frame buffers, on the release 1 headset
// widened to eight channels each way. A plain copy of the same audio, a
// packet at a time, is the reference. Every case reports the thread's CPU
// milliseconds per second of audio, and the pool allocations made between
// Start and Stop (there must be none).
#include "driver/tests/asio/asio_test_world.h"
#include "platform/kernel/pool.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr std::uint32_t Rate = 48000;
constexpr std::uint16_t Channels = 8;
constexpr std::uint32_t FrameBytes = Channels * 2;
constexpr std::uint32_t SecondFrames = 1000;

double ThreadUserMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec) * 1e3 +
           static_cast<double>(usage.ru_utime.tv_usec) / 1e3;
}

// The headset with eight channels on its playback and its microphone.
usbsim::FunctionDescription EightChannelHeadset() {
    usbsim::FunctionDescription d = usbsim::fixtures::uac1Headset();
    for (usbsim::StreamingInterface& streaming : d.streaming) {
        usbsim::AlternateSetting& setting = streaming.settings[0];
        setting.format.channels = Channels;
        setting.format.channelConfig = 0xFF;
        setting.format.rates = {Rate};
        setting.data.maxPacketSize = static_cast<std::uint16_t>((Rate / 1000 + 1) * FrameBytes);
    }
    return d;
}

// The tests' world, set up outside a test: the engines over the widened
// headset, the interface over them, and a client process.
class BenchWorld : public asio_test::AsioWorld {
public:
    BenchWorld() {
        SetUp();
        Start(EightChannelHeadset());
        render = MakeEngine(UsbStreamKind::uac1Render, 1, 1);
        capture = MakeEngine(UsbStreamKind::uac1Capture, 2, 10, 10);
        const ks::WaveFormatExtensible format = usbstream_test::UsbPcmFormat(Channels, 16, Rate);
        render->AddUsbFormat(&format, 1);
        capture->AddUsbFormat(&format, 1);
        halHolder = new engine_test::Held<asio_test::CAsioTestHal>(
            engine_test::Make<asio_test::CAsioTestHal>());
        host.hal = halHolder->get();
        host.hal->asio = {true, true};
        ready = kernel::succeeded(host.hal->Init(nullptr, function->device, nullptr, nullptr)) &&
                kernel::succeeded(host.hal->AddEndpoint(render)) &&
                kernel::succeeded(host.hal->AddEndpoint(capture));
        host.usb = Usb();
    }
    ~BenchWorld() override { TearDown(); }
    void TestBody() override {}

    // One second of audio through the rings of the channels; the CPU
    // milliseconds it took and the allocations made while running.
    bool Stream(bool input, std::uint32_t frames, double* milliseconds,
                std::uint64_t* allocations) {
        const std::uint32_t file = OpenFile();
        std::vector<AsioChannelEntry> channels;
        for (std::uint32_t channel = 0; channel < Channels; ++channel)
            channels.push_back({input ? 1u : 0u, channel});
        std::vector<std::uint32_t> rings;
        std::uint32_t event = 0;
        bool ok = ready &&
                  kernel::succeeded(CreateBuffers(file, channels, frames, &rings).status) &&
                  kernel::succeeded(
                      process->createEvent(kernel::EventType::Synchronization, false, &event));
        if (ok) {
            // The client's audio: a quiet signal in the render ring.
            std::memset(Ring(rings[0]) + 1, 0x11, Ring(rings[0])->ringBytes);
            ok = kernel::succeeded(Word(file, asio_control::Start, event).status);
        }
        if (ok) {
            const std::uint64_t serial = kernel::poolAllocationSerial();
            const double started = ThreadUserMilliseconds();
            usbsim::advanceFrames(stack->clock, SecondFrames);
            *milliseconds += ThreadUserMilliseconds() - started;
            *allocations += kernel::poolAllocationSerial() - serial;
            const std::uint32_t last = input ? rings[1] : rings[0];
            ok =
                Ring(last)->completions > 0 &&
                kernel::succeeded(Control(file, asio_control::Stop, nullptr, 0, nullptr, 0).status);
        }
        if (event != 0) process->closeHandle(event);
        CloseFile(file);
        return ok;
    }

private:
    bool ready = false;
};

void AsioStream(benchmark::State& state, bool input) {
    const auto frames = static_cast<std::uint32_t>(state.range(0));
    BenchWorld world;
    double milliseconds = 0;
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        if (!world.Stream(input, frames, &milliseconds, &allocations)) {
            state.SkipWithError("the ASIO streams did not run");
            break;
        }
    }
    const auto iterations =
        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["cpu_ms_per_audio_s"] = milliseconds / iterations;
    state.counters["pool_allocations_running"] = static_cast<double>(allocations);
}

void AsioRender(benchmark::State& state) { AsioStream(state, false); }
void AsioCapture(benchmark::State& state) { AsioStream(state, true); }

// A plain copy of one second of the audio, a packet at a time.
void ReferenceCopy(benchmark::State& state) {
    const std::size_t packetBytes = Rate / 1000 * FrameBytes;
    std::vector<std::uint8_t> source(packetBytes, 0x11), packet(packetBytes);
    double milliseconds = 0;
    for (auto _ : state) {
        const double started = ThreadUserMilliseconds();
        for (std::uint32_t i = 0; i < SecondFrames; ++i) {
            std::memcpy(packet.data(), source.data(), packetBytes);
            benchmark::DoNotOptimize(packet.data());
            benchmark::ClobberMemory();
        }
        milliseconds += ThreadUserMilliseconds() - started;
    }
    state.counters["cpu_ms_per_audio_s"] =
        milliseconds /
        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

BENCHMARK(AsioRender)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);
BENCHMARK(AsioCapture)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);
BENCHMARK(ReferenceCopy)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
