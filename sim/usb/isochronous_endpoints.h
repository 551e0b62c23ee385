// What a simulated function does with the packets of its isochronous
// endpoints: an OUT endpoint's sink records every packet and checks that
// the stream runs without gaps; an IN endpoint's source delivers what the
// device's own sample clock produced; a feedback endpoint reports that
// clock's rate.
#pragma once

#include "sim/usb/function_description.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace usbsim {

struct SinkPacket {
    std::uint64_t microframe; // when it went over the bus, counted from the bus's start
    std::uint32_t bytes;
    std::uint32_t frame() const { return static_cast<std::uint32_t>(microframe / 8); }
};

class OutSink {
public:
    // A packet of the slot beginning at `microframe`; while the stream runs,
    // packets are `period` microframes apart and a slot that passed with no
    // packet is a gap.
    void receive(std::uint64_t microframe, std::uint64_t period,
                 std::span<const std::uint8_t> bytes);
    // The stream stopped (its interface changed setting): the next packet
    // starts a new run, and the time between is no gap.
    void restart() { m_running = false; }

    const std::vector<SinkPacket>& packets() const { return m_packets; }
    // Every packet's bytes, in order, gathered into one buffer for the reader.
    Bytes stream() const;
    std::size_t streamBytes() const { return m_streamBytes; }
    std::uint64_t gaps() const { return m_gaps; }

private:
    // The bytes are kept in chunks of a fixed capacity, each reserved once,
    // so that a long recording is never moved as it grows.
    static constexpr std::size_t chunkBytes = std::size_t{1} << 16;

    std::vector<SinkPacket> m_packets;
    std::vector<Bytes> m_chunks;
    std::size_t m_streamBytes = 0;
    std::uint64_t m_gaps = 0;
    std::uint64_t m_last = 0;
    bool m_running = false;
};

// The shape of an IN data stream: the device's rate, how many microframes
// apart its packets are, and how a frame and a packet are laid out.
struct SourceShape {
    std::uint32_t rate = 0; // frames per second of the device's own clock
    std::uint64_t period = 8;
    std::uint8_t channels = 0;
    std::uint8_t subslotSize = 0;
    std::uint32_t maxPacket = 0;
    // Every n-th packet goes out empty (0: none). The frames it would have
    // carried wait in the device's FIFO, which then holds up to one packet's
    // frames between slots, and follow in the next packets as room allows.
    std::uint32_t emptyEvery = 0;
};

struct SourcePacket {
    std::uint32_t bytes = 0;
    bool cut = false; // the room held fewer frames than the device had
};

// Per packet slot the device has the whole frames its fractional
// accumulator gives (44.1 kHz at one packet a frame: nine packets of 44
// frames, then one of 45). Every sample of a frame holds the frame's number
// in the stream, little-endian in its subslot, so a reader sees whether
// frames went missing. Frames that do not fit the packet are lost, as a
// device's FIFO loses them, unless the device sends empty packets: then its
// FIFO keeps what the packets could not carry, up to one packet's frames,
// and loses the oldest beyond.
class InSource {
public:
    SourcePacket fill(const SourceShape& shape, std::span<std::uint8_t> room);
    void restart() { *this = InSource(); }
    std::uint64_t framesLost() const { return m_lost; }
    // Frames that went out in packets since the stream started.
    std::uint64_t framesSent() const { return m_counter - m_held - m_lost; }

private:
    std::uint64_t m_accumulator = 0; // in 1/8000 s frame units
    std::uint64_t m_counter = 0;     // frames the clock produced
    std::uint64_t m_held = 0;        // the newest of them, not yet sent
    std::uint64_t m_slots = 0;
    std::uint64_t m_lost = 0;
};

// The device's rate as its explicit feedback endpoint reports it, rounded to
// the format's step: frames per frame as 10.14 in 3 bytes at full speed,
// frames per microframe as 16.16 in 4 bytes at high speed.
Bytes feedbackValue(std::uint32_t rate, bool highSpeed);

} // namespace usbsim
