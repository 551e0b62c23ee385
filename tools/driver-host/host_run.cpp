#include "tools/driver-host/host_run.h"

#include "driver/adapter/driver_entry.h"
#include "platform/io/registry_file.h"
#include "platform/io/system_folder.h"
#include "platform/kernel/pool.h"
#include "platform/ks/state.h"
#include "platform/ks/topology_ids.h"
#include "platform/ks/wave_format.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/simulated_system.h"
#include "sim/os/wave_stream.h"
#include "tools/driver-host/host_device.h"
#include "tools/driver-host/signal_delay.h"
#include "tools/driver-host/signal_source.h"
#include "tools/driver-host/wav_file.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
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

ks::DataFormatWaveFormatExtensible PcmFormat(std::uint32_t rate, std::uint16_t channels,
                                             std::uint16_t bits, std::uint32_t channelMask) {
    ks::DataFormatWaveFormatExtensible format{};
    const auto block = static_cast<std::uint16_t>(channels * bits / 8);
    format.DataFormat = {sizeof(ks::DataFormatWaveFormatExtensible),
                         0,
                         0,
                         0,
                         ks::KSDATAFORMAT_TYPE_AUDIO,
                         ks::KSDATAFORMAT_SUBTYPE_PCM,
                         ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX};
    format.WaveFormatExt.Format = {
        ks::format_tag::extensible, channels, rate, rate * block, block, bits, 22};
    format.WaveFormatExt.wValidBitsPerSample = bits;
    format.WaveFormatExt.dwChannelMask = channelMask;
    format.WaveFormatExt.SubFormat = ks::KSDATAFORMAT_SUBTYPE_PCM;
    return format;
}

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
    const ks::DataFormatWaveFormatExtensible format = PcmFormat(
        options.rate, layout.channels, static_cast<std::uint16_t>(layout.bytesPerSample * 8),
        capture.endpoint->channelMask);
    const std::uint32_t frameBytes = std::uint32_t{layout.channels} * layout.bytesPerSample;
    what = "creating the capture pin";
    return capture.stream.open(
        capture.filter, 0, &format.DataFormat, captureMarginFrames,
        {{}, [&capture, frameBytes](const std::uint8_t* frames, std::uint32_t count) {
             capture.frames.insert(capture.frames.end(), frames, frames + count * frameBytes);
         }});
}

// Everything that needs the system; the pool is counted once it is gone.
RunResult Play(const Options& options) {
    RunResult result;
    const usbsim::FunctionDescription description = Headset(options.uac2);
    const std::optional<DataEndpoint> endpoint =
        FindEndpoint(description, false, options.rate, options.channels, options.bits);
    if (!endpoint)
        return Failed(result, kernel::STATUS_OBJECT_NAME_NOT_FOUND, "the device has no OUT stream");
    ossim::SimulatedSystem system(description, options.lockstep ? ossim::SystemTime::manual
                                                                : ossim::SystemTime::real);
    kernel::NTSTATUS status = system.load(DriverEntry);
    if (!kernel::succeeded(status)) return Failed(result, status, "loading the driver");
    status = system.plug();
    if (!kernel::succeeded(status)) return Failed(result, status, "starting the device");
    const std::u16string name =
        WaveFilter(system.host().subdevices(system.device()), ks::KSCATEGORY_RENDER);
    if (name.empty())
        return Failed(result, kernel::STATUS_OBJECT_NAME_NOT_FOUND, "no render wave filter");
    portcls::FilterHandle filter;
    status = system.host().openFilter(system.device(), name, filter);
    if (!kernel::succeeded(status)) return Failed(result, status, "opening the wave filter");
    World world{system};
    SignalSource source(options);
    const ks::DataFormatWaveFormatExtensible format =
        PcmFormat(options.rate, options.channels, options.bits, (1u << options.channels) - 1);
    Capture capture;
    const StreamCloser captureCloser(world, capture.stream);
    std::size_t inFlightTransfers = 0;
    {
        ossim::WaveStream stream;
        const StreamCloser closer(world, stream);
        status = stream.open(
            filter, 0, &format.DataFormat, marginFrames,
            {[&source](std::uint8_t* frames, std::uint32_t count) { source.fill(frames, count); },
             {}});
        if (!kernel::succeeded(status))
            return Failed(result, status,
                          "creating the pin for " + std::to_string(options.bits) + "-bit " +
                              std::to_string(options.channels) + "-channel PCM at " +
                              std::to_string(options.rate) + " Hz");
        if (!options.captureOut.empty()) {
            std::string what;
            status = OpenCapture(options, system, description, capture, what);
            if (!kernel::succeeded(status)) return Failed(result, status, what);
            status = world.run(capture.stream);
            if (!kernel::succeeded(status))
                return Failed(result, status, "starting the capture pin");
        }
        status = world.run(stream);
        if (!kernel::succeeded(status)) return Failed(result, status, "starting the pin");
        InFlightSampler inFlight;
        const CpuTime cpuStart = ProcessCpuTime();
        auto left = std::chrono::duration_cast<kernel::Duration>(
            std::chrono::duration<double>(options.seconds));
        for (const kernel::Duration chunk = std::chrono::milliseconds(10);
             left > kernel::Duration::zero(); left -= chunk) {
            world.advance(std::min(left, chunk));
            inFlight.sample(system.bus().isochronous(), endpoint->address);
        }
        const CpuTime cpuEnd = ProcessCpuTime();
        result.cpuMsPerAudioSecond = (cpuEnd.total - cpuStart.total) / options.seconds;
        result.userCpuMsPerAudioSecond = (cpuEnd.user - cpuStart.user) / options.seconds;
        // The pump goes with the pin: its counts first.
        result.notifications = stream.counters().notifications;
        result.underruns = stream.counters().underruns;
        inFlightTransfers = inFlight.transfers();
        result.feedbackRate = endpoint->feedback == 0
                                  ? 0
                                  : system.bus().isochronous().feedbackRate(endpoint->feedback);
        if (!world.close(stream))
            return Failed(result, kernel::STATUS_DEVICE_BUSY, "stopping the pin");
        if (capture.stream.isOpen() && !world.close(capture.stream))
            return Failed(result, kernel::STATUS_DEVICE_BUSY, "stopping the capture pin");
    }
    filter.close();
    capture.filter.close();
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
    if (capture.endpoint) {
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
