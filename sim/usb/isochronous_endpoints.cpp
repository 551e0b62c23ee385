#include "sim/usb/isochronous_endpoints.h"

#include <algorithm>

namespace usbsim {

namespace {

constexpr std::uint64_t microframesPerSecond = 8000;

void putLittleEndian(std::uint8_t* at, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

void OutSink::receive(std::uint64_t microframe, std::uint64_t period,
                      std::span<const std::uint8_t> bytes) {
    if (m_running && period != 0 && microframe > m_last + period)
        m_gaps += (microframe - m_last) / period - 1;
    m_running = true;
    m_last = microframe;
    m_packets.push_back({microframe, static_cast<std::uint32_t>(bytes.size())});
    m_stream.insert(m_stream.end(), bytes.begin(), bytes.end());
}

SourcePacket InSource::fill(const SourceShape& shape, std::span<std::uint8_t> room) {
    m_accumulator += static_cast<std::uint64_t>(shape.rate) * shape.period;
    const std::uint64_t produced = m_accumulator / microframesPerSecond;
    m_accumulator %= microframesPerSecond;

    const std::size_t frameBytes = std::size_t{shape.channels} * shape.subslotSize;
    SourcePacket packet;
    std::uint64_t delivered = 0;
    if (frameBytes != 0) {
        const std::uint64_t fitPacket = shape.maxPacket / frameBytes;
        const std::uint64_t fitRoom = room.size() / frameBytes;
        delivered = std::min({produced, fitPacket, fitRoom});
        packet.cut = fitRoom < std::min(produced, fitPacket);
    }
    std::uint8_t* at = room.data();
    for (std::uint64_t frame = 0; frame < delivered; ++frame)
        for (std::uint8_t channel = 0; channel < shape.channels; ++channel) {
            putLittleEndian(at, m_counter + frame, shape.subslotSize);
            at += shape.subslotSize;
        }
    packet.bytes = static_cast<std::uint32_t>(delivered * frameBytes);
    m_counter += produced;
    m_lost += produced - delivered;
    return packet;
}

Bytes feedbackValue(std::uint32_t rate, bool highSpeed) {
    // frames per slot, in fixed point: rate / slots per second x 2^fraction bits
    const std::uint64_t slotsPerSecond = highSpeed ? microframesPerSecond : 1000;
    const int fractionBits = highSpeed ? 16 : 14;
    const std::uint64_t value =
        ((std::uint64_t{rate} << fractionBits) + slotsPerSecond / 2) / slotsPerSecond;
    Bytes bytes(highSpeed ? 4 : 3);
    putLittleEndian(bytes.data(), value, bytes.size());
    return bytes;
}

} // namespace usbsim
