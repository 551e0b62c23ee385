// The whole driver path as driver-host runs it: per iteration the driver is
// loaded and started from its entry point on a simulated headset, one
// lockstep second of a sine is played through its render pin (and, in one
// case, the microphone captured beside it), and the device is removed. The
// figure is the CPU time of every thread while the second plays, per second
// of audio; the start and the removal stay out. The reference, measured in
// the same run, is a plain copy of the same second of audio, a 1 ms packet
// at a time; every case reports its ratio to it, and every device case its
// ratio to the release 1 headset's 16-bit stereo run, measured first in the
// same process.
#include "tools/driver-host/host_run.h"

#include <benchmark/benchmark.h>

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
};
constexpr Case Uac1{"uac1"};
constexpr Case Uac1Capture{"uac1", true};
constexpr Case Uac2{"uac2"};

constexpr std::uint32_t Rate = 48000;
constexpr std::uint32_t FrameBytes = 4; // 16-bit stereo

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

driverhost::Options CaseOptions(const Case& c) {
    driverhost::Options options;
    options.device = c.device;
    options.channels = c.channels;
    options.bits = c.bits;
    options.lockstep = true;
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
    state.counters["cpu_ms_per_audio_s"] = total / iterations;
    state.counters["user_cpu_ms_per_audio_s"] = user / iterations;
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

} // namespace

BENCHMARK_MAIN();
