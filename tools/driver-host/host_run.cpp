#include "tools/driver-host/host_run.h"

#include "driver/adapter/driver_entry.h"
#include "driver/effects/fir8.h"
#include "platform/io/registry_file.h"
#include "platform/io/system_folder.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/debug_print.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/thread.h"
#include "platform/ks/state.h"
#include "platform/ks/topology_ids.h"
#include "platform/ks/wave_format.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/asio_client.h"
#include "sim/os/pcm_format.h"
#include "sim/os/simulated_system.h"
#include "sim/os/wave_stream.h"
#include "sim/usb/stream_endpoint.h"
#include "tools/driver-host/host_asio.h"
#include "tools/driver-host/host_device.h"
#include "tools/driver-host/host_effects.h"
#include "tools/driver-host/host_formats.h"
#include "tools/driver-host/output_files.h"
#include "tools/driver-host/real_time_scheduling.h"
#include "tools/driver-host/signal_delay.h"
#include "tools/driver-host/signal_source.h"
#include "tools/driver-host/wav_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <tuple>
#include <unistd.h>

namespace driverhost {
namespace {

// How far the render pump writes ahead of the pin's position; the capture
// pump hands on every frame the position has passed.
constexpr std::uint32_t marginFrames = 1200;
constexpr std::uint32_t captureMarginFrames = 0;
// The limiter's output is its input of two blocks before.
constexpr std::int64_t limiterDelay = 2 * std::int64_t{CFir8::BlockFrames};

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

// What is seen most often among samples taken while a stream runs (under
// the real clock a sample may fall between a completion and the transfer
// sent in its place).
template <class Value> class MostSeen {
public:
    void sample(Value value) { ++m_seen[value]; }
    Value value() const {
        const auto most =
            std::max_element(m_seen.begin(), m_seen.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        return most == m_seen.end() ? Value{} : most->first;
    }

private:
    std::map<Value, int> m_seen;
};

// The running system, in lockstep or on the real clock.
struct World {
    ossim::SimulatedSystem& system;
    std::optional<Stall> stall; // the host late once, on purpose
    ossim::WaveStream* renderStream = nullptr;
    ossim::WaveStream* captureStream = nullptr;

    void holdBack(const Stall& late) {
        const auto length = std::chrono::duration_cast<kernel::Duration>(
            std::chrono::duration<double>(late.length));
        if (late.late == Stall::Late::bus) system.bus().isochronous().holdWakes(length);
        if (late.late == Stall::Late::render && renderStream) renderStream->holdBack(length);
        if (late.late == Stall::Late::capture && captureStream) captureStream->holdBack(length);
    }

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

// The capture pin beside the render pin: its format, its frames.
struct Capture {
    std::optional<DataEndpoint> endpoint;
    std::optional<PinFormat> format;
    portcls::FilterHandle filter;
    ossim::WaveStream stream;
    std::vector<std::uint8_t> frames;
};

kernel::NTSTATUS OpenWaveFilter(ossim::SimulatedSystem& system, bool render,
                                portcls::FilterHandle& filter, std::string& what) {
    const std::u16string name = WaveFilter(system.host().subdevices(system.device()),
                                           render ? ks::KSCATEGORY_RENDER : ks::KSCATEGORY_CAPTURE);
    what =
        render ? "the driver made no render wave filter" : "the driver made no capture wave filter";
    if (name.empty()) return kernel::STATUS_OBJECT_NAME_NOT_FOUND;
    what = render ? "opening the render wave filter" : "opening the capture wave filter";
    return system.host().openFilter(system.device(), name, filter);
}

// The candidate nearest the rate and bits that the pin takes: the pin is
// opened with each in turn, nearest first, until one is taken. Asking it of
// every candidate first would close a pin each time, and closing a capture
// pin while the render pin stands at another rate than the microphone's
// first costs bus frames (about 25 ms each on the real clock at 96 and
// 192 kHz): two dozen of them held the run's start back by a second.
std::optional<PinFormat> NearestTakenFormat(const portcls::FilterHandle& filter,
                                            std::vector<PinFormat> candidates, std::uint32_t rate,
                                            std::uint16_t bits) {
    while (!candidates.empty()) {
        const PinFormat* nearest = NearestFormat(candidates, rate, bits);
        if (!PinFormats(filter, std::span(nearest, 1)).empty()) return *nearest;
        candidates.erase(candidates.begin() + (nearest - candidates.data()));
    }
    return std::nullopt;
}

kernel::NTSTATUS OpenCapture(const Options& options, ossim::SimulatedSystem& system,
                             const usbsim::FunctionDescription& description, Capture& capture,
                             std::string& what) {
    kernel::NTSTATUS status = OpenWaveFilter(system, false, capture.filter, what);
    if (!kernel::succeeded(status)) return status;
    const std::optional<PinFormat> taken = NearestTakenFormat(
        capture.filter, CandidateFormats(description, true), options.rate, options.bits);
    what = "the capture pin takes none of the formats the microphone offers";
    if (!taken) return kernel::STATUS_NOT_SUPPORTED;
    const PinFormat* nearest = &*taken;
    capture.format = *nearest;
    capture.endpoint = StreamingEndpoint(description, true, nearest->rate);
    const ks::DataFormatWaveFormatExtensible format = PinDataFormat(*nearest);
    const std::uint32_t frameBytes = std::uint32_t{nearest->channels} * nearest->container / 8u;
    what = "creating the capture pin for " + FormatName(*nearest);
    return capture.stream.open(
        capture.filter, 0, &format.DataFormat, captureMarginFrames,
        {{}, [&capture, frameBytes](const std::uint8_t* frames, std::uint32_t count) {
             capture.frames.insert(capture.frames.end(), frames, frames + count * frameBytes);
         }});
}

// What a way of playing leaves for the statistics and the files.
struct Played {
    Capture capture;
    std::uint8_t alternateSetting = 0; // of the OUT interface while it streamed
    std::uint32_t deviceRate = 0;      // the OUT endpoint's clock then; 0 when never found
    std::string failure;               // what failed, when the status does not succeed
};

// The nominal rate of the interface's OUT data endpoint in its current
// setting, as the device has it; 0 when it streams nothing now.
std::uint32_t OutEndpointRate(ossim::SimulatedSystem& system, std::uint8_t interface) {
    const usbsim::FunctionDescription& description = system.function().description();
    const std::optional<std::uint8_t> setting = system.function().alternateSetting(interface);
    if (!setting || *setting == 0) return 0;
    const std::optional<DataEndpoint> endpoint = StreamingEndpoint(description, false, 0, *setting);
    if (!endpoint) return 0;
    const std::optional<usbsim::StreamEndpoint> found =
        usbsim::findStreamEndpoint(system.function(), endpoint->address);
    return found ? found->nominalRate : 0;
}

// Plays for the run's seconds, moving time with `advance`, sampling the OUT
// endpoint's transfers in flight and the CPU time taken. The seconds are
// read on the platform's clock, not summed from the steps: on the real clock
// every step may oversleep, and two hundred steps of a little more than
// 10 ms each would play on for tens of milliseconds past the end. Each step
// goes only as far as the end, so the run ends at the first wake after it.
// A wave run on the real clock only sleeps through its steps, so they are
// longer there: each wake of this thread costs about as much as a frame's
// work, and ten samples a second still find the setting that streamed.
void PlayFor(const Options& options, World& world,
             const std::function<void(kernel::Duration)>& advance,
             std::optional<std::uint8_t> interface, RunResult& result, Played& played) {
    MostSeen<std::uint8_t> setting;
    MostSeen<std::uint32_t> rate;
    const CpuTime cpuStart = ProcessCpuTime();
    const kernel::Clock& clock = kernel::currentClock();
    const kernel::Duration end = clock.now() + std::chrono::duration_cast<kernel::Duration>(
                                                   std::chrono::duration<double>(options.seconds));
    const kernel::Duration step = options.lockstep || options.asio
                                      ? kernel::Duration(std::chrono::milliseconds(10))
                                      : kernel::Duration(std::chrono::milliseconds(100));
    const kernel::Duration start = clock.now();
    const auto seconds = [](double s) {
        return std::chrono::duration_cast<kernel::Duration>(std::chrono::duration<double>(s));
    };
    for (kernel::Duration now = clock.now(); now < end; now = clock.now()) {
        if (world.stall && now - start >= seconds(world.stall->at)) {
            world.holdBack(*world.stall);
            world.stall.reset();
        }
        advance(std::min<kernel::Duration>(end - now, step));
        if (interface) {
            setting.sample(world.system.function().alternateSetting(*interface).value_or(0));
            rate.sample(OutEndpointRate(world.system, *interface));
        }
    }
    const CpuTime cpuEnd = ProcessCpuTime();
    result.cpuMsPerAudioSecond = (cpuEnd.total - cpuStart.total) / options.seconds;
    result.userCpuMsPerAudioSecond = (cpuEnd.user - cpuStart.user) / options.seconds;
    played.alternateSetting = setting.value();
    played.deviceRate = rate.value();
}

// Through the first render wave pin, with the first capture pin beside it
// when its frames are wanted.
kernel::NTSTATUS PlayWave(const Options& options, World& world,
                          const usbsim::FunctionDescription& description,
                          portcls::FilterHandle& filter, const PinFormat& pinFormat,
                          RunResult& result, Played& played) {
    ossim::SimulatedSystem& system = world.system;
    SignalSource source(options);
    const ks::DataFormatWaveFormatExtensible format = PinDataFormat(pinFormat);
    Capture& capture = played.capture;
    const StreamCloser captureCloser(world, capture.stream);
    ossim::WaveStream stream;
    const StreamCloser closer(world, stream);
    kernel::NTSTATUS status = stream.open(
        filter, 0, &format.DataFormat, marginFrames,
        {[&source](std::uint8_t* frames, std::uint32_t count) { source.fill(frames, count); }, {}});
    played.failure = "creating the render pin for " + FormatName(pinFormat);
    if (!kernel::succeeded(status)) return status;
    if (!options.captureOut.empty()) {
        status = OpenCapture(options, system, description, capture, played.failure);
        if (!kernel::succeeded(status)) return status;
        result.captureFormat = capture.format;
        status = world.run(capture.stream);
        played.failure = "starting the capture pin";
        if (!kernel::succeeded(status)) return status;
    }
    status = world.run(stream);
    played.failure = "starting the render pin";
    if (!kernel::succeeded(status)) return status;
    world.renderStream = &stream;
    world.captureStream = capture.stream.isOpen() ? &capture.stream : nullptr;
    PlayFor(
        options, world, [&world](kernel::Duration d) { world.advance(d); },
        StreamingInterface(description, false), result, played);
    // The pump goes with the pin: its counts first.
    world.renderStream = world.captureStream = nullptr;
    result.notifications = stream.counters().notifications;
    result.underruns = stream.counters().underruns;
    result.staleFrames = stream.counters().underrunFrames;
    result.captureOverrunFrames = capture.stream.counters().overrunFrames;
    played.failure = "stopping the render pin (it did not leave RUN within a second)";
    if (!world.close(stream)) return kernel::STATUS_DEVICE_BUSY;
    played.failure = "stopping the capture pin (it did not leave RUN within a second)";
    if (capture.stream.isOpen() && !world.close(capture.stream)) return kernel::STATUS_DEVICE_BUSY;
    capture.filter.close();
    return kernel::STATUS_SUCCESS;
}

// What ASIO takes is asked of the driver before the run; a rate, width or
// channel count it does not take is refused, naming what it takes.
kernel::NTSTATUS ChooseAsio(const Options& options, const DeviceModel& model,
                            const AsioOffer& offer, std::uint32_t& sampleType, std::string& what) {
    const std::optional<std::uint32_t> type =
        MatchSampleType(offer, options.bits, options.container);
    const bool rate =
        std::find(offer.rates.begin(), offer.rates.end(), options.rate) != offer.rates.end();
    if (type && rate && options.channels == offer.outputs) {
        sampleType = *type;
        return kernel::STATUS_SUCCESS;
    }
    const PinFormat asked{options.rate, options.channels, options.bits, options.containerBits(), 0};
    what = "ASIO on the " + std::string(model.name) + " device does not take " + FormatName(asked) +
           "; it takes:\n" + DescribeAsio(offer, "  ");
    what.pop_back();
    return kernel::STATUS_NOT_SUPPORTED;
}

// Through the ASIO interface's rings, as an ASIO host's driver plays: the
// signal in every output channel in the layout of the sample type the
// driver takes for the run's width, every input channel read.
kernel::NTSTATUS PlayAsio(const Options& options, World& world,
                          const usbsim::FunctionDescription& description, const DeviceModel& model,
                          RunResult& result, Played& played) {
    ossim::AsioClient client(world.system);
    played.failure = "opening the ASIO interface";
    kernel::NTSTATUS status = client.open();
    if (!kernel::succeeded(status)) return status;
    const AsioOffer offer = AskAsio(client, DescriptorRates(description));
    std::uint32_t sampleType = 0;
    status = ChooseAsio(options, model, offer, sampleType, played.failure);
    if (!kernel::succeeded(status)) return status;
    const AsioSampleLayout layout = *AsioLayoutOf(sampleType);
    const auto outputs = static_cast<std::uint16_t>(offer.outputs);
    result.renderFormat = PinFormat{options.rate, outputs, layout.bits, layout.container,
                                    ClientChannelMask(description, false, outputs)};
    // One channel's sample a frame, copied into every channel.
    Options mono = options;
    mono.channels = 1;
    mono.container = layout.container;
    SignalSource source(mono);
    ossim::AsioClientSettings settings;
    settings.sampleRate = options.rate;
    settings.sampleType = sampleType;
    settings.bufferFrames = 0; // the driver's preferred size
    settings.capture = !options.captureOut.empty();
    settings.signal = [&source] {
        std::uint8_t bytes[4] = {};
        source.fill(bytes, 1);
        return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
               std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
    };
    played.failure = "configuring ASIO for " + FormatName(*result.renderFormat) + " (sample type " +
                     SampleTypeName(sampleType) + ")";
    status = client.configure(settings);
    if (!kernel::succeeded(status)) return status;
    played.failure = "starting the ASIO streams";
    status = client.start();
    if (!kernel::succeeded(status)) return status;
    // The client serves its rings each frame its event is found set.
    PlayFor(
        options, world, [&client](kernel::Duration d) { client.run(d); },
        StreamingInterface(description, false), result, played);
    result.asioEvents = client.wakes();
    if (!client.wakeCompletions().empty()) result.asioCompletions = client.wakeCompletions().back();
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
            const auto channels = static_cast<std::uint16_t>(ring.header->channels);
            played.capture.endpoint =
                DataEndpoint{0,
                             {options.rate, channels, static_cast<std::uint16_t>(sample),
                              layout.bits, ClientChannelMask(description, true, channels)}};
            played.capture.frames = ring.captured;
        }
    }
    played.failure = "closing the ASIO interface";
    status = client.disposeBuffers();
    if (kernel::succeeded(status)) status = client.close();
    return status;
}

// The render format the run asks for, or the refusal naming what would play.
kernel::NTSTATUS ChooseRenderFormat(const Options& options, const std::vector<PinFormat>& offered,
                                    const DeviceModel& model, PinFormat& chosen,
                                    std::string& what) {
    const PinFormat* match =
        MatchFormat(offered, options.rate, options.channels, options.bits, options.container);
    if (match != nullptr) {
        chosen = *match;
        return kernel::STATUS_SUCCESS;
    }
    PinFormat asked{options.rate, options.channels, options.bits, options.containerBits(), 0};
    what = "the " + std::string(model.name) + " device does not play " + FormatName(asked) +
           (offered.empty() ? std::string(": its render pin takes no format")
                            : "; its render pin plays:\n" + DescribeFormats(offered, "  "));
    if (!what.empty() && what.back() == '\n') what.pop_back();
    return kernel::STATUS_NOT_SUPPORTED;
}

// The render frames lost: those of the packet slots that passed without a
// packet, or the frames short of the run's seconds when more. The signal
// that reached the device, with the limiter's frames still held at the stop,
// lasts the seconds less up to a transfer and a packet (the stop's cut, see
// the real-time test: a transfer and a bus frame); less than that is lost, whichever way it went.
std::uint64_t RenderFramesLost(const Options& options, const RunResult& result) {
    if (result.packets == 0 || result.transfers == 0) return 0;
    const std::uint64_t packetFrames = result.frames / result.packets;
    const std::uint64_t inGaps = result.gaps * packetFrames;
    if (options.asio || result.delayFrames < 0) return inGaps;
    const auto played = static_cast<std::int64_t>(result.frames) - result.delayFrames +
                        (result.delayFrames >= limiterDelay ? limiterDelay : 0);
    const auto asked = static_cast<std::int64_t>(std::llround(options.seconds * options.rate));
    const auto cut =
        static_cast<std::int64_t>(result.frames / result.transfers + options.rate / 1000);
    const std::int64_t short_ = asked - cut - played;
    return std::max<std::uint64_t>(inGaps, short_ > 0 ? static_cast<std::uint64_t>(short_) : 0);
}

// Everything that needs the system; the pool is counted once it is gone.
RunResult Play(const Options& options, std::optional<Stall> stall) {
    RunResult result;
    const DeviceModel* model = RunDeviceModel(options.device, options.asio);
    if (model == nullptr)
        return Failed(result, kernel::STATUS_NOT_SUPPORTED,
                      "the " + options.device +
                          " device serves no ASIO; these do: " + DeviceNames(true));
    const usbsim::FunctionDescription description = model->describe();
    if (!StreamingInterface(description, false))
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
    result.deviceStarted = true;
    World world{system, stall};
    Played played;
    std::string refused;
    if (!ApplyEffects(system, options.effects, refused))
        return Failed(result, kernel::STATUS_INVALID_PARAMETER, refused);
    portcls::FilterHandle filter;
    if (options.asio) {
        status = PlayAsio(options, world, description, *model, result, played);
    } else {
        status = OpenWaveFilter(system, true, filter, played.failure);
        PinFormat pinFormat;
        if (kernel::succeeded(status))
            status = ChooseRenderFormat(options,
                                        PinFormats(filter, CandidateFormats(description, false)),
                                        *model, pinFormat, played.failure);
        if (kernel::succeeded(status)) {
            result.renderFormat = pinFormat;
            status = PlayWave(options, world, description, filter, pinFormat, result, played);
        }
    }
    if (!kernel::succeeded(status)) return Failed(result, status, played.failure);
    filter.close();
    // The layout and rate the device's stream ran at, not the request's.
    const DataEndpoint endpoint = *StreamingEndpoint(
        description, false, played.deviceRate != 0 ? played.deviceRate : options.rate,
        played.alternateSetting);
    result.feedbackRate =
        endpoint.feedback == 0 ? 0 : system.bus().isochronous().feedbackRate(endpoint.feedback);
    const Capture& capture = played.capture;
    const usbsim::OutSink sink = system.bus().isochronous().sink(endpoint.address);
    result.packets = sink.packets().size();
    result.gaps = sink.gaps();
    result.transfers = system.bus().isochronous().transfersServed(endpoint.address);
    const std::uint32_t block =
        std::uint32_t{endpoint.format.channels} * endpoint.format.bytesPerSample;
    result.deviceFormat = endpoint.format;
    const usbsim::Bytes received = sink.stream();
    result.frames = received.size() / block;
    result.delayFrames = SignalDelay(received, endpoint.format, options);
    // Through a wave pin the limiter holds the signal back by its delay;
    // the rest lay in the transfers in flight.
    if (!options.asio && result.delayFrames >= limiterDelay)
        result.inFlightFrames = result.delayFrames - limiterDelay;
    result.fullScaleSamples = FullScaleSamples(received, endpoint.format.bytesPerSample);
    result.renderFramesLost = RenderFramesLost(options, result);
    if (options.signal == Signal::channels)
        result.channelLevels =
            MeasureChannelBursts(received, endpoint.format, options, result.delayFrames);
    if (!options.out.empty() && !writeWav(options.out, endpoint.format, received))
        return Failed(result, kernel::STATUS_UNSUCCESSFUL, "writing " + options.out);
    if (capture.endpoint && !options.captureOut.empty()) {
        WavFormat layout = capture.endpoint->format;
        if (capture.format)
            layout = {capture.format->rate, capture.format->channels,
                      static_cast<std::uint16_t>(capture.format->container / 8),
                      capture.format->bits, capture.format->channelMask};
        result.capturedFrames =
            capture.frames.size() / (std::uint32_t{layout.channels} * layout.bytesPerSample);
        result.captureLosses =
            CountCaptureLosses(capture.frames, layout.channels, layout.bytesPerSample);
        if (!writeWav(options.captureOut, layout, capture.frames))
            return Failed(result, kernel::STATUS_UNSUCCESSFUL, "writing " + options.captureOut);
    }
    status = system.remove();
    if (!kernel::succeeded(status)) return Failed(result, status, "removing the device");
    return result;
}

// A file the run is to write can be written: made if missing (and taken
// away again), opened for writing if there; the reason when it cannot.
bool Writable(const std::string& path, std::string& reason) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        reason = "it is a folder";
        return false;
    }
    const bool existed = std::filesystem::exists(path, error);
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (file < 0) {
        reason = std::strerror(errno);
        return false;
    }
    ::close(file);
    if (!existed) std::filesystem::remove(path, error);
    return true;
}

} // namespace

RunResult runDriverHost(const Options& options, std::optional<Stall> stall) {
    const std::string shared = SharedOutputFile(options);
    if (!shared.empty())
        return Failed({}, kernel::STATUS_INVALID_PARAMETER,
                      shared + ": one would be written over the other");
    for (const std::string* path : {&options.out, &options.captureOut}) {
        std::string reason;
        if (!path->empty() && !Writable(*path, reason))
            return Failed({}, kernel::STATUS_UNSUCCESSFUL,
                          "cannot write " + *path + " (" + reason + ")");
    }
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
    RunResult result = Play(options, stall);
    result.poolBlocksLeft = kernel::poolLiveBlocks();
    result.threadsLeft = kernel::runningSystemThreads();
    if (registry) {
        std::string message;
        const kernel::NTSTATUS status = registry->save(message);
        if (!kernel::succeeded(status) && kernel::succeeded(result.status))
            return Failed(result, status, "saving the registry (" + message + ")");
    }
    return result;
}

} // namespace driverhost
