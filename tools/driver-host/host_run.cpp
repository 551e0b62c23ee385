#include "tools/driver-host/host_run.h"

#include "driver/adapter/driver_entry.h"
#include "platform/io/registry_file.h"
#include "platform/io/system_folder.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/pool.h"
#include "platform/ks/state.h"
#include "platform/ks/topology_ids.h"
#include "platform/ks/wave_format.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/asio_client.h"
#include "sim/os/pcm_format.h"
#include "sim/os/simulated_system.h"
#include "sim/os/wave_stream.h"
#include "tools/driver-host/host_device.h"
#include "tools/driver-host/real_time_scheduling.h"
#include "tools/driver-host/signal_delay.h"
#include "tools/driver-host/signal_source.h"
#include "tools/driver-host/wav_file.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/resource.h>

namespace driverhost {
namespace {

// How far the render pump writes ahead of the pin's position; the capture
// pump hands on every frame the position has passed.
constexpr std::uint32_t marginFrames = 1200;
constexpr std::uint32_t captureMarginFrames = 0;
// The registry's file in the system root.
constexpr const char* registryFileName = "registry.txt";

// CPU time of every thread of the program so far, in milliseconds: all of
// it, and the part in user mode.
struct CpuTime {
    double total = 0;
    double user = 0;
};

CpuTime ProcessCpuTime() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    return {ms(usage.ru_utime) + ms(usage.ru_stime), ms(usage.ru_utime)};
}

RunResult Failed(RunResult result, kernel::NTSTATUS status, std::string what) {
    result.status = status;
    result.failure = std::move(what);
    return result;
}

// How many transfers an endpoint has scheduled, sampled while it streams:
// the count seen most often (under the real clock a sample may fall between
// a completion and the transfer sent in its place).
class InFlightSampler {
public:
    void sample(const usbsim::IsochronousSchedule& schedule, std::uint8_t address) {
        ++m_seen[schedule.transfersScheduled(address)];
    }
    std::size_t transfers() const {
        const auto most =
            std::max_element(m_seen.begin(), m_seen.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        return most == m_seen.end() ? 0 : most->first;
    }

private:
    std::map<std::size_t, int> m_seen;
};

// The running system, in lockstep or on the real clock.
struct World {
    ossim::SimulatedSystem& system;

    void advance(kernel::Duration duration) { system.step(duration); }

    kernel::NTSTATUS run(ossim::WaveStream& stream) {
        for (ks::KsState state : {ks::KsState::Acquire, ks::KsState::Pause, ks::KsState::Run}) {
            const kernel::NTSTATUS status =
                system.call([&stream, state] { return stream.setState(state); });
            if (!kernel::succeeded(status)) return status;
        }
        return kernel::STATUS_SUCCESS;
    }

    // Leaving RUN waits for the bus, so it runs on a system thread while time
    // moves on. The flag is shared: a close that outlasts the wait still has
    // somewhere to say it ended.
    bool close(ossim::WaveStream& stream) {
        const auto closed = std::make_shared<std::atomic<bool>>(false);
        system.call([&stream, closed] {
            stream.close();
            *closed = true;
            return kernel::STATUS_SUCCESS;
        });
        for (int frame = 0; frame < 1000 && !*closed; ++frame)
            advance(std::chrono::milliseconds(1));
        return *closed;
    }
};

// Closes a stream still open when the run ends early, the way World::close
// does: its own destructor would leave RUN while time stands still.
class StreamCloser {
public:
    StreamCloser(World& world, ossim::WaveStream& stream) : m_world(world), m_stream(stream) {}
    ~StreamCloser() {
        if (m_stream.isOpen()) m_world.close(m_stream);
    }
    StreamCloser(const StreamCloser&) = delete;
    StreamCloser& operator=(const StreamCloser&) = delete;

private:
    World& m_world;
    ossim::WaveStream& m_stream;
};

// The capture pin beside the render pin: its frames, in the pin's format.
struct Capture {
    std::optional<DataEndpoint> endpoint;
    portcls::FilterHandle filter;
    ossim::WaveStream stream;
    std::vector<std::uint8_t> frames;
};

kernel::NTSTATUS OpenCapture(const Options& options, ossim::SimulatedSystem& system,
                             const usbsim::FunctionDescription& description, Capture& capture,
                             std::string& what) {
    capture.endpoint = FindEndpoint(description, true, options.rate, 1, 16);
    const std::u16string name =
        WaveFilter(system.host().subdevices(system.device()), ks::KSCATEGORY_CAPTURE);
    what = "no capture wave filter";
    if (!capture.endpoint || name.empty()) return kernel::STATUS_OBJECT_NAME_NOT_FOUND;
    what = "opening the capture filter";
    kernel::NTSTATUS status = system.host().openFilter(system.device(), name, capture.filter);
    if (!kernel::succeeded(status)) return status;
    const WavFormat& layout = capture.endpoint->format;
    const ks::DataFormatWaveFormatExtensible format =
        ossim::pcmFormat(options.rate, static_cast<std::uint16_t>(layout.bytesPerSample * 8),
                         layout.channels, 0, capture.endpoint->channelMask);
    const std::uint32_t frameBytes = std::uint32_t{layout.channels} * layout.bytesPerSample;
    what = "creating the capture pin";
    return capture.stream.open(
        capture.filter, 0, &format.DataFormat, captureMarginFrames,
        {{}, [&capture, frameBytes](const std::uint8_t* frames, std::uint32_t count) {
             capture.frames.insert(capture.frames.end(), frames, frames + count * frameBytes);
         }});
}

// What a way of playing leaves for the statistics and the files.
struct Played {
    Capture capture;
    std::size_t inFlightTransfers = 0;
    std::string failure; // what failed, when the status does not succeed
};

// Plays for the run's seconds, moving time with `advance`, sampling the OUT
// endpoint's transfers in flight and the CPU time taken. The seconds are
// read on the platform's clock, not summed from the steps: on the real clock
// every step may oversleep, and two hundred steps of a little more than
// 10 ms each would play on for tens of milliseconds past the end. Each step
// goes only as far as the end, so the run ends at the first wake after it.
void PlayFor(const Options& options, World& world,
             const std::function<void(kernel::Duration)>& advance, std::uint8_t address,
             RunResult& result, Played& played) {
    InFlightSampler inFlight;
    const CpuTime cpuStart = ProcessCpuTime();
    const kernel::Clock& clock = kernel::currentClock();
    const kernel::Duration end = clock.now() + std::chrono::duration_cast<kernel::Duration>(
                                                   std::chrono::duration<double>(options.seconds));
    for (kernel::Duration now = clock.now(); now < end; now = clock.now()) {
        advance(std::min<kernel::Duration>(end - now, std::chrono::milliseconds(10)));
        inFlight.sample(world.system.bus().isochronous(), address);
    }
    const CpuTime cpuEnd = ProcessCpuTime();
    result.cpuMsPerAudioSecond = (cpuEnd.total - cpuStart.total) / options.seconds;
    result.userCpuMsPerAudioSecond = (cpuEnd.user - cpuStart.user) / options.seconds;
    played.inFlightTransfers = inFlight.transfers();
}

// Through the first render wave pin, with the first capture pin beside it
// when its frames are wanted.
kernel::NTSTATUS PlayWave(const Options& options, World& world,
                          const usbsim::FunctionDescription& description,
                          const DataEndpoint& endpoint, RunResult& result, Played& played) {
    ossim::SimulatedSystem& system = world.system;
    const std::u16string name =
        WaveFilter(system.host().subdevices(system.device()), ks::KSCATEGORY_RENDER);
    played.failure = "no render wave filter";
    if (name.empty()) return kernel::STATUS_OBJECT_NAME_NOT_FOUND;
    portcls::FilterHandle filter;
    kernel::NTSTATUS status = system.host().openFilter(system.device(), name, filter);
    played.failure = "opening the wave filter";
    if (!kernel::succeeded(status)) return status;
    SignalSource source(options);
    const ks::DataFormatWaveFormatExtensible format =
        ossim::pcmFormat(options.rate, options.bits, options.channels);
    Capture& capture = played.capture;
    const StreamCloser captureCloser(world, capture.stream);
    ossim::WaveStream stream;
    const StreamCloser closer(world, stream);
    status = stream.open(
        filter, 0, &format.DataFormat, marginFrames,
        {[&source](std::uint8_t* frames, std::uint32_t count) { source.fill(frames, count); }, {}});
    played.failure = "creating the pin for " + std::to_string(options.bits) + "-bit " +
                     std::to_string(options.channels) + "-channel PCM at " +
                     std::to_string(options.rate) + " Hz";
    // A device may carry the sample's bits only in wider subslots.
    const std::uint32_t subslotBits = endpoint.format.bytesPerSample * 8u;
    if (!kernel::succeeded(status) && subslotBits > options.bits)
        played.failure = "creating the pin (the device carries " + std::to_string(options.bits) +
                         "-bit samples only in " + std::to_string(subslotBits) + "-bit subslots)";
    if (!kernel::succeeded(status)) return status;
    if (!options.captureOut.empty()) {
        status = OpenCapture(options, system, description, capture, played.failure);
        if (!kernel::succeeded(status)) return status;
        status = world.run(capture.stream);
        played.failure = "starting the capture pin";
        if (!kernel::succeeded(status)) return status;
    }
    status = world.run(stream);
    played.failure = "starting the pin";
    if (!kernel::succeeded(status)) return status;
    PlayFor(
        options, world, [&world](kernel::Duration d) { world.advance(d); }, endpoint.address,
        result, played);
    // The pump goes with the pin: its counts first.
    result.notifications = stream.counters().notifications;
    result.underruns = stream.counters().underruns;
    result.feedbackRate =
        endpoint.feedback == 0 ? 0 : system.bus().isochronous().feedbackRate(endpoint.feedback);
    played.failure = "stopping the pin";
    if (!world.close(stream)) return kernel::STATUS_DEVICE_BUSY;
    played.failure = "stopping the capture pin";
    if (capture.stream.isOpen() && !world.close(capture.stream)) return kernel::STATUS_DEVICE_BUSY;
    capture.filter.close();
    return kernel::STATUS_SUCCESS;
}

// Through the ASIO interface's rings, as an ASIO host's driver plays: the
// signal in every output channel, every input channel read.
kernel::NTSTATUS PlayAsio(const Options& options, World& world, const DataEndpoint& endpoint,
                          RunResult& result, Played& played) {
    Options mono = options;
    mono.channels = 1;
    SignalSource source(mono);
    ossim::AsioClient client(world.system);
    played.failure = "opening the ASIO interface";
    kernel::NTSTATUS status = client.open();
    if (!kernel::succeeded(status)) return status;
    // ASIO's little-endian integer sample types of 16, 24 and 32 bits.
    const std::uint32_t sampleType = options.bits == 16 ? 16 : options.bits == 24 ? 17 : 18;
    ossim::AsioClientSettings settings;
    settings.sampleRate = options.rate;
    settings.sampleType = sampleType;
    settings.capture = !options.captureOut.empty();
    settings.signal = [&source] {
        std::uint8_t bytes[4] = {};
        source.fill(bytes, 1);
        return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
               std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
    };
    played.failure = "configuring ASIO for " + std::to_string(options.bits) + "-bit samples at " +
                     std::to_string(options.rate) + " Hz";
    status = client.configure(settings);
    if (!kernel::succeeded(status)) return status;
    played.failure = "starting the ASIO streams";
    status = client.start();
    if (!kernel::succeeded(status)) return status;
    // The client serves its rings each frame its event is found set.
    PlayFor(
        options, world, [&client](kernel::Duration d) { client.run(d); }, endpoint.address, result,
        played);
    result.asioEvents = client.wakes();
    if (!client.wakeCompletions().empty()) result.asioCompletions = client.wakeCompletions().back();
    result.feedbackRate = endpoint.feedback == 0
                              ? 0
                              : world.system.bus().isochronous().feedbackRate(endpoint.feedback);
    played.failure = "stopping the ASIO streams";
    status = client.stop();
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t sample = ossim::asio::sampleBytes(sampleType);
    for (const ossim::AsioClientRing& ring : client.rings()) {
        const std::uint32_t frameBytes = sample * ring.header->channels;
        if (frameBytes == 0) continue;
        if (!ring.isCapture()) {
            result.asioRingUnderruns += ring.lostBytes / frameBytes;
        } else if (!played.capture.endpoint) {
            played.capture.endpoint =
                DataEndpoint{0,
                             {options.rate, static_cast<std::uint16_t>(ring.header->channels),
                              static_cast<std::uint16_t>(sample)}};
            played.capture.frames = ring.captured;
        }
    }
    played.failure = "closing the ASIO interface";
    status = client.disposeBuffers();
    if (kernel::succeeded(status)) status = client.close();
    return status;
}

// Everything that needs the system; the pool is counted once it is gone.
RunResult Play(const Options& options) {
    RunResult result;
    const usbsim::FunctionDescription description = Headset(options.uac2, options.asio);
    const std::optional<DataEndpoint> endpoint =
        FindEndpoint(description, false, options.rate, options.channels, options.bits);
    if (!endpoint)
        return Failed(result, kernel::STATUS_OBJECT_NAME_NOT_FOUND, "the device has no OUT stream");
    // On the real clock the system's threads start with it: they inherit the
    // precedence the run was granted.
    std::optional<RealTimeScheduling> scheduling;
    if (!options.lockstep) scheduling.emplace();
    result.realTimeScheduling = scheduling && scheduling->granted();
    ossim::SimulatedSystem system(description, options.lockstep ? ossim::SystemTime::manual
                                                                : ossim::SystemTime::real);
    kernel::NTSTATUS status = system.load(DriverEntry);
    if (!kernel::succeeded(status)) return Failed(result, status, "loading the driver");
    status = system.plug();
    if (!kernel::succeeded(status)) return Failed(result, status, "starting the device");
    World world{system};
    Played played;
    status = options.asio ? PlayAsio(options, world, *endpoint, result, played)
                          : PlayWave(options, world, description, *endpoint, result, played);
    if (!kernel::succeeded(status)) return Failed(result, status, played.failure);
    const Capture& capture = played.capture;
    const std::size_t inFlightTransfers = played.inFlightTransfers;
    const usbsim::OutSink sink = system.bus().isochronous().sink(endpoint->address);
    result.packets = sink.packets().size();
    result.gaps = sink.gaps();
    result.transfers = system.bus().isochronous().transfersServed(endpoint->address);
    const std::uint32_t block =
        std::uint32_t{endpoint->format.channels} * endpoint->format.bytesPerSample;
    result.frames = sink.stream().size() / block;
    result.delayFrames = SignalDelay(sink.stream(), block, options);
    // Transfers of the stream's format all carry about the same frames.
    if (result.transfers != 0)
        result.inFlightFrames = std::llround(static_cast<double>(result.frames) /
                                             static_cast<double>(result.transfers) *
                                             static_cast<double>(inFlightTransfers));
    if (!options.out.empty() && !writeWav(options.out, endpoint->format, sink.stream()))
        return Failed(result, kernel::STATUS_UNSUCCESSFUL, "writing " + options.out);
    if (capture.endpoint && !options.captureOut.empty()) {
        const WavFormat& layout = capture.endpoint->format;
        result.capturedFrames =
            capture.frames.size() / (std::uint32_t{layout.channels} * layout.bytesPerSample);
        if (!writeWav(options.captureOut, layout, capture.frames))
            return Failed(result, kernel::STATUS_UNSUCCESSFUL, "writing " + options.captureOut);
    }
    status = system.remove();
    if (!kernel::succeeded(status)) return Failed(result, status, "removing the device");
    return result;
}

} // namespace

RunResult runDriverHost(const Options& options) {
    std::optional<io::SystemRoot> root;
    std::optional<io::RegistryFile> registry;
    if (!options.systemRoot.empty()) {
        const std::filesystem::path folder(options.systemRoot);
        std::error_code error;
        if (!std::filesystem::is_directory(folder, error))
            return Failed({}, kernel::STATUS_OBJECT_PATH_NOT_FOUND,
                          "using the system root " + options.systemRoot + " (no such folder)");
        root.emplace(folder);
        registry.emplace(folder / registryFileName);
        std::string message;
        const kernel::NTSTATUS status = registry->load(message);
        if (!kernel::succeeded(status))
            return Failed({}, status, "loading the registry (" + message + ")");
    }
    RunResult result = Play(options);
    result.poolBlocksLeft = kernel::poolLiveBlocks();
    if (registry) {
        std::string message;
        const kernel::NTSTATUS status = registry->save(message);
        if (!kernel::succeeded(status) && kernel::succeeded(result.status))
            return Failed(result, status, "saving the registry (" + message + ")");
    }
    return result;
}

} // namespace driverhost
