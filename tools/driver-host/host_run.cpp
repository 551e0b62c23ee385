#include "tools/driver-host/host_run.h"

#include "driver/adapter/driver_entry.h"
#include "platform/kernel/pool.h"
#include "platform/ks/state.h"
#include "platform/ks/topology_ids.h"
#include "platform/ks/wave_format.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/pcm_format.h"
#include "sim/os/simulated_system.h"
#include "sim/os/system_call.h"
#include "sim/os/wave_stream.h"
#include "sim/usb/fixtures.h"
#include "tools/driver-host/wav_file.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

namespace driverhost {
namespace {

constexpr std::uint8_t firmwareStringIndex = 0x50;
constexpr double sineHertz = 1000.0;
constexpr double sineAmplitude = 0.5; // -6 dBFS
constexpr std::uint32_t marginFrames = 1200;

usbsim::FunctionDescription Headset(bool uac2) {
    usbsim::FunctionDescription description =
        uac2 ? usbsim::fixtures::uac2FeedbackDevice() : usbsim::fixtures::uac1Headset();
    if (!uac2)
        description.strings.push_back({.index = firmwareStringIndex, .text = u"USB Headset FW"});
    return description;
}

// The signal's frames, each sample little-endian in every channel: a 1 kHz
// sine at -6 dBFS, or a ramp counting up by one each frame.
class SignalSource {
public:
    explicit SignalSource(const Options& options) : m_options(options) {}

    void fill(std::uint8_t* frames, std::uint32_t count) {
        const std::uint32_t bytes = m_options.bits / 8u;
        for (std::uint32_t i = 0; i < count; ++i, ++m_frame) {
            const std::int64_t value = sample();
            for (std::uint16_t channel = 0; channel < m_options.channels; ++channel)
                for (std::uint32_t b = 0; b < bytes; ++b)
                    *frames++ =
                        static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * b));
        }
    }

private:
    std::int64_t sample() const {
        const std::int64_t fullScale = (std::int64_t{1} << (m_options.bits - 1)) - 1;
        if (m_options.signal == Signal::ramp)
            return static_cast<std::int64_t>(m_frame % static_cast<std::uint64_t>(fullScale + 1));
        const double phase =
            2 * std::numbers::pi * sineHertz * static_cast<double>(m_frame) / m_options.rate;
        return std::llround(sineAmplitude * static_cast<double>(fullScale) * std::sin(phase));
    }

    Options m_options;
    std::uint64_t m_frame = 0;
};

// The first wave filter with a render interface.
std::u16string RenderWaveFilter(const std::vector<portcls::SubdeviceRecord>& subdevices) {
    for (const portcls::SubdeviceRecord& subdevice : subdevices) {
        const bool wave = subdevice.name.size() >= 4 &&
                          subdevice.name.compare(subdevice.name.size() - 4, 4, u"Wave") == 0;
        if (wave && std::count(subdevice.categories.begin(), subdevice.categories.end(),
                               ks::KSCATEGORY_RENDER) != 0)
            return subdevice.name;
    }
    return {};
}

// The device's OUT data endpoint and the sample layout it streams: the
// setting that carries the client's format, else the first OUT setting.
struct OutEndpoint {
    std::uint8_t address = 0;
    WavFormat format;
};

std::optional<OutEndpoint> OutEndpointFor(const usbsim::FunctionDescription& description,
                                          const Options& options) {
    std::optional<OutEndpoint> first;
    for (const usbsim::StreamingInterface& interface : description.streaming)
        for (const usbsim::AlternateSetting& setting : interface.settings) {
            if (setting.data.address == 0 || (setting.data.address & 0x80) != 0) continue;
            const OutEndpoint endpoint{
                setting.data.address,
                {options.rate, setting.format.channels, setting.format.subslotSize}};
            if (setting.format.channels == options.channels &&
                setting.format.bitResolution == options.bits)
                return endpoint;
            if (!first) first = endpoint;
        }
    return first;
}

RunResult Failed(RunResult result, kernel::NTSTATUS status, std::string what) {
    result.status = status;
    result.failure = std::move(what);
    return result;
}

// Everything that needs the system; the pool is counted once it is gone.
RunResult Play(const Options& options) {
    RunResult result;
    const usbsim::FunctionDescription description = Headset(options.uac2);
    const std::optional<OutEndpoint> endpoint = OutEndpointFor(description, options);
    if (!endpoint)
        return Failed(result, kernel::STATUS_OBJECT_NAME_NOT_FOUND, "the device has no OUT stream");
    ossim::SimulatedSystem system(description);
    kernel::NTSTATUS status = system.load(DriverEntry);
    if (!kernel::succeeded(status)) return Failed(result, status, "loading the driver");
    status = system.plug();
    if (!kernel::succeeded(status)) return Failed(result, status, "starting the device");
    const std::u16string name = RenderWaveFilter(system.host().subdevices(system.device()));
    if (name.empty())
        return Failed(result, kernel::STATUS_OBJECT_NAME_NOT_FOUND, "no render wave filter");
    portcls::FilterHandle filter;
    status = system.host().openFilter(system.device(), name, filter);
    if (!kernel::succeeded(status)) return Failed(result, status, "opening the wave filter");
    SignalSource source(options);
    const ks::DataFormatWaveFormatExtensible format =
        ossim::pcmFormat(options.rate, options.bits, options.channels);
    {
        ossim::WaveStream stream;
        status = stream.open(
            filter, 0, &format.DataFormat, marginFrames,
            {[&source](std::uint8_t* frames, std::uint32_t count) { source.fill(frames, count); },
             {}});
        if (!kernel::succeeded(status)) {
            // A device may carry the sample's bits only in wider subslots.
            const std::uint32_t subslotBits = endpoint->format.bytesPerSample * 8u;
            if (subslotBits != options.bits)
                return Failed(result, status,
                              "creating the pin (the device carries " +
                                  std::to_string(options.bits) + "-bit samples only in " +
                                  std::to_string(subslotBits) + "-bit subslots)");
            return Failed(result, status, "creating the pin");
        }
        for (ks::KsState state : {ks::KsState::Acquire, ks::KsState::Pause, ks::KsState::Run}) {
            status = ossim::callOnSystemThread(system.clock(),
                                               [&stream, state] { return stream.setState(state); });
            if (!kernel::succeeded(status)) return Failed(result, status, "starting the pin");
        }
        system.step(std::chrono::duration_cast<kernel::Duration>(
            std::chrono::duration<double>(options.seconds)));
        // The pump goes with the pin: its counts first.
        result.notifications = stream.counters().notifications;
        result.underruns = stream.counters().underruns;
        // Leaving RUN waits for the bus, so it runs on a system thread while time moves on.
        std::atomic<bool> closed{false};
        ossim::callOnSystemThread(system.clock(), [&stream, &closed] {
            stream.close();
            closed = true;
            return kernel::STATUS_SUCCESS;
        });
        for (int frame = 0; frame < 1000 && !closed; ++frame)
            system.step(std::chrono::milliseconds(1));
        if (!closed) return Failed(result, kernel::STATUS_DEVICE_BUSY, "stopping the pin");
    }
    filter.close();
    const usbsim::OutSink sink = system.bus().isochronous().sink(endpoint->address);
    result.packets = sink.packets().size();
    const std::uint32_t block =
        std::uint32_t{endpoint->format.channels} * endpoint->format.bytesPerSample;
    result.frames = sink.stream().size() / block;
    if (!options.out.empty() && !writeWav(options.out, endpoint->format, sink.stream()))
        return Failed(result, kernel::STATUS_UNSUCCESSFUL, "writing " + options.out);
    status = system.remove();
    if (!kernel::succeeded(status)) return Failed(result, status, "removing the device");
    return result;
}

} // namespace

RunResult runDriverHost(const Options& options) {
    RunResult result = Play(options);
    result.poolBlocksLeft = kernel::poolLiveBlocks();
    return result;
}

} // namespace driverhost
