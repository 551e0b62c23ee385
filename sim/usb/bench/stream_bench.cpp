// A render stream of 8 channels of 24-bit samples at 48 kHz on a high-speed
// bus, ten simulated seconds in lockstep, driven by a driver-side loop that
// keeps four 10-packet transfers in flight. The counter says how many
// simulated seconds pass per second of wall-clock time.
#include "sim/usb/fixtures.h"
#include "sim/usb/tests/stream_driver.h"

#include <benchmark/benchmark.h>

namespace {

constexpr std::uint8_t playback = 0x01;
constexpr std::uint32_t simulatedSeconds = 10;
constexpr std::uint32_t frameBytes = 8 * 3;

usbsim::FunctionDescription eightChannelDevice() {
    usbsim::FunctionDescription d = usbsim::fixtures::uac1Headset();
    d.highSpeed = true;
    usbsim::AlternateSetting& setting = d.streaming[0].settings[0];
    setting.format.channels = 8;
    setting.format.subslotSize = 3;
    setting.format.bitResolution = 24;
    setting.format.rates = {48000};
    setting.data.maxPacketSize = 7 * frameBytes; // 6 frames a microframe, and room for one more
    return d;
}

void simulatedRenderStream(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        usbsimtest::StreamWorld world(eightChannelDevice());
        const usb::PipeHandle pipe = world.driver.selectSetting(1, 1, playback);
        if (pipe == nullptr ||
            world.driver.setEndpointRate(playback, 48000) != kernel::STATUS_SUCCESS) {
            state.SkipWithError("the playback setting could not be selected");
            break;
        }
        usbsimtest::IsoStream stream(
            world.driver, pipe,
            {.rate = 48000, .packetsPerMillisecond = 8, .frameBytes = frameBytes}, 10, 4);
        state.ResumeTiming();

        stream.start();
        usbsim::advanceFrames(world.clock, simulatedSeconds * 1000);
        world.drain(stream);

        state.PauseTiming();
        const usbsim::OutSink sink = world.bus.isochronous().sink(playback);
        if (sink.gaps() != 0 || stream.failedPackets() != 0 ||
            sink.streamBytes() != stream.bytes().size())
            state.SkipWithError("the stream did not reach the device whole");
        state.ResumeTiming();
    }
    state.counters["simulated_s_per_s"] = benchmark::Counter(
        static_cast<double>(simulatedSeconds) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}

BENCHMARK(simulatedRenderStream)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
