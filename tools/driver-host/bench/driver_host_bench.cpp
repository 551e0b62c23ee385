// The whole driver path as driver-host runs it: per iteration the driver is
// loaded and started from its entry point on a simulated headset, one second
// of a sine is played through its render pin (and, in one case, the
// microphone captured beside it), in lockstep or on the real clock, and the
// device is removed. The figure is the CPU time of every thread while the
// second plays, per second of audio; the start and the removal stay out.
// Measured in the same run: the driver's render chain alone (the DSP host's
// pass and the stream engine's limiter over the same second of audio, a 1 ms
// packet at a time, on one thread), which every case reports beside its
// figure and takes off it (`beyond_engine_ms_per_audio_s`: what the
// simulated world and the hand-over between threads cost), and a plain copy
// of the same audio, the reference of the ratios. Every case also gives its
// ratio to the release 1 headset's 16-bit stereo lockstep run, measured
// first in the same process.
#include "driver/common/dsp_node.h"
#include "driver/effects/dsp_host.h"
#include "driver/effects/fir8.h"
#include "driver/effects/float_pass.h"
#include "driver/effects/pcm_planes.h"
#include "driver/tests/test_wave_formats.h"
#include "platform/kernel/spin_lock.h"
#include "tools/driver-host/host_run.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* device;
    bool capture = false;
    std::uint16_t channels = 2;
    std::uint16_t bits = 16;
    const char* effect = nullptr; // an --effect setting
    bool lockstep = true;
};
constexpr Case Uac1{"uac1"};
constexpr Case Uac1Capture{"uac1", true};
constexpr Case Uac2{"uac2"};
constexpr Case Uac1RealClock{"uac1", false, 2, 16, nullptr, false};

constexpr std::uint32_t Rate = 48000;
constexpr std::uint16_t Channels = 2;
constexpr std::uint32_t FrameBytes = 4; // 16-bit stereo
constexpr std::uint32_t PacketFrames = Rate / 1000;

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

// CPU milliseconds of copying one second of the audio, packet by packet: the
// mean of `seconds` seconds, as the copy is too short to time once.
double CopyMsPerAudioSecond(int seconds) {
    const std::size_t packetBytes = Rate / 1000 * FrameBytes;
    std::vector<std::uint8_t> source(packetBytes, 0x11), packet(packetBytes);
    const double start = ThreadCpuMs();
    for (int second = 0; second < seconds; ++second)
        for (int i = 0; i < 1000; ++i) {
            std::memcpy(packet.data(), source.data(), packetBytes);
            benchmark::DoNotOptimize(packet.data());
            benchmark::ClobberMemory();
        }
    return (ThreadCpuMs() - start) / seconds;
}

// CPU milliseconds of the driver's render chain over one second of the
// audio, as the stream engine runs it on each 1 ms packet: the DSP host's
// pass (PCM to float planes, the chains, back to PCM) and the limiter's pass
// in a floating-point pass under the host's lock. The mean of `seconds`
// seconds; a negative figure when the host cannot be set up.
double EngineMsPerAudioSecond(int seconds) {
    const ks::WaveFormatExtensible format = TestPcmFormat(Channels, 16, Rate);
    CDspHost host;
    CFir8 limiter;
    if (!kernel::succeeded(host.AllocatePacketBuffers()) ||
        !kernel::succeeded(host.SetCurrentWaveFormat(format)) || limiter.Allocate() != 1)
        return -1;
    limiter.SetMode(0);
    limiter.SetTargetGain(1.0f);
    limiter.SetParam(1.0f);
    limiter.SetFormat(&format);
    // A 1 kHz sine at half scale, as driver-host plays by default.
    std::vector<std::int16_t> second(std::size_t{Rate} * Channels);
    for (std::uint32_t frame = 0; frame < Rate; ++frame)
        for (std::uint16_t channel = 0; channel < Channels; ++channel)
            second[std::size_t{frame} * Channels + channel] = static_cast<std::int16_t>(
                16383.0 * std::sin(2.0 * 3.14159265358979 * 1000.0 * frame / Rate));
    std::vector<std::int16_t> packet(std::size_t{PacketFrames} * Channels);
    const std::uint32_t packetBytes = PacketFrames * FrameBytes;
    const double start = ThreadCpuMs();
    for (int s = 0; s < seconds; ++s)
        for (std::uint32_t at = 0; at < Rate; at += PacketFrames) {
            std::memcpy(packet.data(), second.data() + std::size_t{at} * Channels, packetBytes);
            benchmark::DoNotOptimize(host.ProcessAllChains(packet.data(), packetBytes));
            CFloatPass pass;
            if (!pass.Active()) return -1;
            kernel::SpinLockGuard lock(host.GetSpinLock());
            PcmToFloatPlanes(packet.data(), host.GetPlanes(), host.GetFloatBuffer(), PacketFrames,
                             format);
            limiter.Process(host.GetPlanes(), static_cast<int>(PacketFrames));
            FloatPlanesToPcm(packet.data(), host.GetPlanes(), host.GetFloatBuffer(), PacketFrames,
                             format);
            benchmark::DoNotOptimize(packet.data());
            benchmark::ClobberMemory();
        }
    return (ThreadCpuMs() - start) / seconds;
}

driverhost::Options CaseOptions(const Case& c) {
    driverhost::Options options;
    options.device = c.device;
    options.channels = c.channels;
    options.bits = c.bits;
    options.lockstep = c.lockstep;
    options.seconds = 1;
    if (c.effect != nullptr) options.effects.emplace_back(c.effect);
    return options;
}

// The CPU per second of audio of the release 1 headset's 16-bit stereo run,
// the device cases' reference: measured once, the mean of three runs.
double ReferenceCpuMs() {
    static const double reference = [] {
        double total = 0;
        for (int run = 0; run < 3; ++run)
            total += driverhost::runDriverHost(CaseOptions(Uac1)).cpuMsPerAudioSecond;
        return total / 3;
    }();
    return reference;
}

void DriverHostPlayback(benchmark::State& state, const Case& c) {
    const double reference = ReferenceCpuMs();
    driverhost::Options options = CaseOptions(c);
    const std::string capture =
        (std::filesystem::temp_directory_path() / "driver_host_bench_capture.wav").string();
    if (c.capture) options.captureOut = capture;
    double total = 0;
    double user = 0;
    for (auto _ : state) {
        const driverhost::RunResult result = driverhost::runDriverHost(options);
        if (!kernel::succeeded(result.status) || result.poolBlocksLeft != 0) {
            state.SkipWithError(("the run failed: " + result.failure).c_str());
            break;
        }
        total += result.cpuMsPerAudioSecond;
        user += result.userCpuMsPerAudioSecond;
    }
    if (c.capture) std::remove(capture.c_str());
    const double iterations =
        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    const double copy = CopyMsPerAudioSecond(100);
    const double engine = EngineMsPerAudioSecond(20);
    if (engine < 0) state.SkipWithError("the render chain could not be set up");
    state.counters["cpu_ms_per_audio_s"] = total / iterations;
    state.counters["user_cpu_ms_per_audio_s"] = user / iterations;
    state.counters["engine_ms_per_audio_s"] = engine;
    state.counters["beyond_engine_ms_per_audio_s"] = total / iterations - engine;
    state.counters["copy_ms_per_audio_s"] = copy;
    state.counters["user_ratio_to_copy"] = copy > 0 ? user / iterations / copy : 0;
    state.counters["ratio_to_uac1_16bit_stereo"] =
        reference > 0 ? total / iterations / reference : 0;
}

BENCHMARK_CAPTURE(DriverHostPlayback, uac1_16bit_stereo, Uac1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DriverHostPlayback, uac1_16bit_stereo_with_capture, Uac1Capture)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DriverHostPlayback, uac2_16bit_stereo_feedback, Uac2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DriverHostPlayback, uac1_24bit_stereo, (Case{"uac1", false, 2, 24}))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DriverHostPlayback, uac2_24_in_32bit_stereo, (Case{"uac2", false, 2, 24}))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DriverHostPlayback, uac2_32bit_stereo, (Case{"uac2", false, 2, 32}))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DriverHostPlayback, uac2_asio_16bit_stereo, (Case{"uac2-asio"}))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DriverHostPlayback, n3w8_16bit_5_1, (Case{"n3w8", false, 6}))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DriverHostPlayback, k7d2_16bit_stereo, (Case{"k7d2"}))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DriverHostPlayback, p9f4_16bit_stereo, (Case{"p9f4"}))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DriverHostPlayback, t6l1_16bit_7_1_into_stereo, (Case{"t6l1", false, 8}))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DriverHostPlayback, t6l1_16bit_7_1_virtualizer_on,
                  (Case{"t6l1", false, 8, 16, "virtualizer=on"}))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DriverHostPlayback, q7k2_16bit_7_1_into_stereo, (Case{"q7k2", false, 8}))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DriverHostPlayback, q7k2_16bit_7_1_headphone_on,
                  (Case{"q7k2", false, 8, 16, "headphone=on"}))
    ->Unit(benchmark::kMillisecond);
// One real second per iteration: the frames follow the platform's real clock.
BENCHMARK_CAPTURE(DriverHostPlayback, uac1_16bit_stereo_real_clock, Uac1RealClock)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

} // namespace

BENCHMARK_MAIN();
