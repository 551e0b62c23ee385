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
    m_streamBytes += bytes.size();
    while (!bytes.empty()) {
        if (m_chunks.empty() || m_chunks.back().size() == chunkBytes) {
            m_chunks.emplace_back();
            m_chunks.back().reserve(chunkBytes);
        }
        Bytes& chunk = m_chunks.back();
        const std::size_t take = std::min(bytes.size(), chunkBytes - chunk.size());
        chunk.insert(chunk.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
        bytes = bytes.subspan(take);
    }
}

Bytes OutSink::stream() const {
    Bytes all;
    all.reserve(m_streamBytes);
    for (const Bytes& chunk : m_chunks) all.insert(all.end(), chunk.begin(), chunk.end());
    return all;
}

SourcePacket InSource::fill(const SourceShape& shape, std::span<std::uint8_t> room) {
    m_accumulator += static_cast<std::uint64_t>(shape.rate) * shape.period;
    const std::uint64_t produced = m_accumulator / microframesPerSecond;
    m_accumulator %= microframesPerSecond;
    m_counter += produced;
    m_held += produced;
    ++m_slots;
    const bool empty = shape.emptyEvery != 0 && m_slots % shape.emptyEvery == 0;

    const std::size_t frameBytes = std::size_t{shape.channels} * shape.subslotSize;
    SourcePacket packet;
    std::uint64_t delivered = 0;
    std::uint64_t fitPacket = 0;
    if (frameBytes != 0 && !empty) {
        fitPacket = shape.maxPacket / frameBytes;
        const std::uint64_t fitRoom = room.size() / frameBytes;
        delivered = std::min({m_held, fitPacket, fitRoom});
        packet.cut = fitRoom < std::min(m_held, fitPacket);
    } else if (frameBytes != 0) {
        fitPacket = shape.maxPacket / frameBytes;
    }
    // The oldest frames waiting go first.
    const std::uint64_t first = m_counter - m_held;
    std::uint8_t* at = room.data();
    for (std::uint64_t frame = 0; frame < delivered; ++frame)
        for (std::uint8_t channel = 0; channel < shape.channels; ++channel) {
            putLittleEndian(at, first + frame, shape.subslotSize);
            at += shape.subslotSize;
        }
    packet.bytes = static_cast<std::uint32_t>(delivered * frameBytes);
    m_held -= delivered;
    const std::uint64_t keep = shape.emptyEvery != 0 && !packet.cut ? fitPacket : 0;
    if (m_held > keep) {
        m_lost += m_held - keep;
        m_held = keep;
    }
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
