#include "sim/os/asio_client.h"

#include "platform/io/user_mapping.h"
#include "sim/os/system_call.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <utility>

namespace ossim {

std::uint32_t asio::sampleBytes(std::uint32_t sampleType) {
    switch (sampleType) {
    case asio_sample_type::Int16:
        return 2;
    case asio_sample_type::Int24Packed:
        return 3;
    default:
        return 4;
    }
}

namespace {

// Frames of a request that blocks on the bus before the client gives up.
constexpr int requestFrames = 5000;

std::span<std::uint8_t> bytesOf(std::vector<std::uint32_t>& words) {
    return {reinterpret_cast<std::uint8_t*>(words.data()), words.size() * 4};
}

template <typename Record> std::span<std::uint8_t> bytesOfRecord(Record& record) {
    return {reinterpret_cast<std::uint8_t*>(&record), sizeof record};
}

} // namespace

AsioClient::~AsioClient() { closeAll(); }

void AsioClient::closeAll() {
    if (m_running) stop();
    if (m_buffers) disposeBuffers();
    close();
}

kernel::NTSTATUS AsioClient::open() {
    if (m_file != 0) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    const kernel::NTSTATUS status =
        m_user.open(asio::interfaceClass, asio::interfaceReference, &m_file);
    if (kernel::succeeded(status)) m_removalNotice = m_system.onQueryRemove([this] { closeAll(); });
    return status;
}

kernel::NTSTATUS AsioClient::control(std::uint32_t code, std::span<const std::uint8_t> input,
                                     std::span<std::uint8_t> output, std::uint32_t* returned) {
    if (returned != nullptr) *returned = 0;
    io::IoStatusBlock ioStatus{};
    io::UserProcess& process = m_user.process();
    const std::uint32_t file = m_file;
    const kernel::NTSTATUS sent = callOnSystemThread(
        m_system.clock(),
        [&] {
            return process.deviceIoControl(file, code, input.empty() ? nullptr : input.data(),
                                           static_cast<std::uint32_t>(input.size()),
                                           output.empty() ? nullptr : output.data(),
                                           static_cast<std::uint32_t>(output.size()), &ioStatus);
        },
        [this] { m_system.step(std::chrono::milliseconds(1)); }, requestFrames);
    // A call still blocked would write into this frame later: the run is
    // broken beyond repair.
    if (sent == kernel::STATUS_PENDING) std::abort();
    if (kernel::isError(sent)) return sent;
    if (returned != nullptr) *returned = static_cast<std::uint32_t>(ioStatus.information);
    return ioStatus.status;
}

kernel::NTSTATUS AsioClient::word(std::uint32_t code, std::uint32_t value) {
    std::vector<std::uint32_t> input = {value};
    return control(code, bytesOf(input), {});
}

std::vector<std::uint32_t> AsioClient::sampleTypes() {
    // {requested, count, the types every ASIO endpoint offers}
    std::vector<std::uint32_t> types(2 + 8, 0);
    std::uint32_t returned = 0;
    const kernel::NTSTATUS status = control(asio::getSampleTypes, {}, bytesOf(types), &returned);
    if (!kernel::succeeded(status) || returned < 8) return {};
    const std::uint32_t count = std::min<std::uint32_t>(
        {types[1], (returned - 8) / 4, static_cast<std::uint32_t>(types.size() - 2)});
    return {types.begin() + 2, types.begin() + 2 + count};
}

bool AsioClient::canSampleRate(std::uint32_t rate) {
    return kernel::succeeded(word(asio::canSampleRate, rate));
}

std::uint32_t AsioClient::activeSampleType() {
    AsioChannelInfo info{};
    info.isInput = m_outputs == 0 ? 1 : 0;
    const AsioChannelInfo request = info;
    std::uint32_t returned = 0;
    const kernel::NTSTATUS status = control(
        asio::getChannelInfo, {reinterpret_cast<const std::uint8_t*>(&request), sizeof request},
        bytesOfRecord(info), &returned);
    return kernel::succeeded(status) && returned == sizeof info ? info.sampleType : 0;
}

kernel::NTSTATUS AsioClient::negotiateSampleType(std::uint32_t sampleType) {
    const std::vector<std::uint32_t> types = sampleTypes();
    if (types.empty()) return kernel::STATUS_UNSUCCESSFUL;
    if (std::find(types.begin(), types.end(), sampleType) == types.end())
        return kernel::STATUS_NOT_SUPPORTED;
    kernel::NTSTATUS status = word(asio::setSampleType, sampleType);
    if (!kernel::succeeded(status) || activeSampleType() == sampleType) return status;
    // The requested type becomes the rings' when a file without buffers closes.
    if (!kernel::succeeded(status = close()) || !kernel::succeeded(status = open())) return status;
    return activeSampleType() == sampleType ? kernel::STATUS_SUCCESS : kernel::STATUS_UNSUCCESSFUL;
}

kernel::NTSTATUS AsioClient::configure(const AsioClientSettings& settings) {
    m_signal = settings.signal;
    AsioChannels channels{};
    kernel::NTSTATUS status = control(asio::getChannels, {}, bytesOfRecord(channels));
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t endpoints = channels.endpoints;
    m_outputs = channels.outputs;
    m_inputs = channels.inputs;

    if (settings.kind == asio::kindDsd) {
        if (!kernel::succeeded(status = word(asio::setKind, asio::kindDsd))) return status;
    } else if (!kernel::succeeded(status = negotiateSampleType(settings.sampleType))) {
        return status;
    }
    if (!kernel::succeeded(status = word(asio::setSampleRate, settings.sampleRate))) return status;

    std::vector<std::uint32_t> sizes(4, 0);
    if (!kernel::succeeded(status = control(asio::getBufferSize, {}, bytesOf(sizes))))
        return status;
    std::copy(sizes.begin(), sizes.end(), m_bufferSizes);
    const std::uint32_t bufferFrames =
        settings.bufferFrames != 0 ? settings.bufferFrames : sizes[2];
    if (bufferFrames < sizes[0] || bufferFrames > sizes[1]) return kernel::STATUS_INVALID_PARAMETER;

    // {unused, entries, frames, then {isInput, channel} per channel}
    std::vector<std::uint32_t> request = {0, 0, bufferFrames};
    const auto ask = [&request](bool wanted, std::uint32_t isInput, std::uint32_t count) {
        for (std::uint32_t channel = 0; wanted && channel < count; ++channel) {
            request.push_back(isInput);
            request.push_back(channel);
            ++request[1];
        }
    };
    ask(settings.render, 0, m_outputs);
    ask(settings.capture, 1, m_inputs);
    std::vector<std::uint32_t> addresses(endpoints, 0);
    status = control(asio::createBuffers, bytesOf(request), bytesOf(addresses));
    if (!kernel::succeeded(status)) return status;
    m_buffers = true;
    m_sampleBytes = settings.kind == asio::kindDsd ? asio::dsdWordBytes
                                                   : asio::sampleBytes(settings.sampleType);
    // A DSD buffer counts samples, 64 to a ring frame's word.
    m_bufferFrames =
        settings.kind == asio::kindDsd ? bufferFrames / (8 * asio::dsdWordBytes) : bufferFrames;
    m_rings.clear();
    for (const std::uint32_t address : addresses) {
        AsioClientRing ring;
        ring.header = static_cast<asio::RingHeader*>(io::userPointer(address));
        m_rings.push_back(std::move(ring));
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS AsioClient::start() {
    if (m_event == 0) {
        const kernel::NTSTATUS created =
            m_user.process().createEvent(kernel::EventType::Synchronization, false, &m_event);
        if (!kernel::succeeded(created)) return created;
    }
    const kernel::NTSTATUS status = word(asio::start, m_event);
    if (!kernel::succeeded(status)) return status;
    m_running = true;
    m_wakeCompletions.clear();
    for (AsioClientRing& ring : m_rings) {
        ring.lastPosition = ring.startOffset = ring.header->position;
        ring.driverBytes = ring.clientBytes = 0;
        ring.served = false;
    }
    return status;
}

void AsioClient::run(kernel::Duration duration) {
    for (kernel::Duration left = duration; left > kernel::Duration::zero();
         left -= std::chrono::milliseconds(1)) {
        m_system.step(std::chrono::milliseconds(1));
        if (m_running && m_user.process().waitForEvent(m_event, kernel::Duration::zero()) ==
                             kernel::STATUS_SUCCESS) {
            ++m_wakes;
            for (const AsioClientRing& ring : m_rings)
                if (ring.header->last != 0) m_wakeCompletions.push_back(ring.header->completions);
            serve();
        }
    }
}

void AsioClient::serve() {
    for (AsioClientRing& ring : m_rings) {
        if (ring.header->active == 0) continue;
        unwrapDriverPosition(ring);
        if (ring.isCapture())
            serveCapture(ring);
        else
            serveRender(ring);
    }
}

// The header's position wraps at the ring's end; the client counts on,
// trusting that the driver moved less than a ring since it last looked.
void AsioClient::unwrapDriverPosition(AsioClientRing& ring) {
    const std::uint32_t size = ring.header->ringBytes;
    const std::uint32_t now = ring.header->position;
    ring.driverBytes += (now + size - ring.lastPosition) % size;
    ring.lastPosition = now;
}

// Writes the ramp (or the caller's signal) from where the client stopped up to one buffer beyond
// the driver's position and lead. Where the driver has passed the client, the frames it took were
// stale: the ramp goes on where the driver is due next.
void AsioClient::serveRender(AsioClientRing& ring) {
    const asio::RingHeader& header = *ring.header;
    const std::uint32_t sample = m_sampleBytes;
    const std::uint32_t frameBytes = sample * header.channels;
    if (frameBytes == 0 || header.ringBytes == 0) return;
    // The driver has taken the lead already: what the client writes there
    // comes too late.
    const std::uint64_t due = ring.driverBytes + header.leadBytes;
    if (ring.clientBytes < due) {
        if (ring.served) ring.lostBytes += due - ring.clientBytes;
        ring.clientBytes = due;
    }
    ring.served = true;
    const std::uint64_t target = std::min<std::uint64_t>(
        due + m_bufferFrames * frameBytes, ring.driverBytes + header.ringBytes - frameBytes);
    while (ring.clientBytes + frameBytes <= target) {
        const std::uint32_t value = m_signal ? m_signal() : rampValue(m_rampFrames++);
        for (std::uint32_t channel = 0; channel < header.channels; ++channel) {
            for (std::uint32_t byte = 0; byte < sample; ++byte) {
                const std::uint64_t at = ring.clientBytes + channel * sample + byte;
                ring.data()[ring.offsetOf(at)] =
                    static_cast<std::uint8_t>(byte < 4 ? value >> (8 * byte) : 0);
            }
        }
        ring.clientBytes += frameBytes;
    }
}

// Reads what the driver wrote since the client last looked; what it wrote
// over before the client read it is lost.
void AsioClient::serveCapture(AsioClientRing& ring) {
    const std::uint32_t size = ring.header->ringBytes;
    if (ring.driverBytes - ring.clientBytes > size) {
        ring.lostBytes += ring.driverBytes - size - ring.clientBytes;
        ring.clientBytes = ring.driverBytes - size;
    }
    for (; ring.clientBytes < ring.driverBytes; ++ring.clientBytes)
        ring.captured.push_back(ring.data()[ring.offsetOf(ring.clientBytes)]);
}

kernel::NTSTATUS AsioClient::stop() {
    const kernel::NTSTATUS status = control(asio::stop, {}, {});
    m_running = false;
    return status;
}

kernel::NTSTATUS AsioClient::disposeBuffers() {
    const kernel::NTSTATUS status = control(asio::disposeBuffers, {}, {});
    m_buffers = false;
    m_rings.clear();
    return status;
}

kernel::NTSTATUS AsioClient::close() {
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    if (m_removalNotice != 0) m_system.cancelQueryRemoveNotice(std::exchange(m_removalNotice, 0));
    if (m_file != 0) {
        // Closing waits for the driver to stop what runs: time moves on.
        io::UserProcess& process = m_user.process();
        const std::uint32_t file = m_file;
        status = callOnSystemThread(
            m_system.clock(), [&process, file] { return process.closeHandle(file); },
            [this] { m_system.step(std::chrono::milliseconds(1)); }, requestFrames);
        if (status == kernel::STATUS_PENDING) std::abort();
        m_file = 0;
        m_rings.clear();
        m_buffers = m_running = false;
    }
    if (m_event != 0) {
        m_user.process().closeHandle(m_event);
        m_event = 0;
    }
    return status;
}

} // namespace ossim
