// What a run lost on the way, read from what the device received and what
// the microphone gave: the microphone's frames each hold their number in the
// stream (in the whole width of the sample), so a frame missing, repeated or
// handed on as silence shows where the count does not go on by one; the
// device's samples at full scale are those clipped before they reached it.
#pragma once

#include <cstdint>
#include <span>

namespace driverhost {

struct CaptureLosses {
    std::uint64_t lost = 0;            // counts the stream skipped past the furthest it reached
    std::uint64_t repeated = 0;        // frames of a count it had passed already (stale, restarted)
    std::uint64_t discontinuities = 0; // where a frame does not follow the one before
    bool any() const { return discontinuities != 0; }
};

// The first channel's count over frames of `channels` little-endian samples
// of `bytes` each. A run of zeros where the count does not reach zero is
// silence in its place: the frames it stood for are lost when the count
// after it has moved on past them, and lost at the end of the stream.
CaptureLosses CountCaptureLosses(std::span<const std::uint8_t> frames, std::uint16_t channels,
                                 std::uint16_t bytes);

// Samples of `bytes` each (little-endian, signed) at the top or the bottom
// of full scale; in a 4-byte sample the top 24 bits count, as they hold
// every valid bit a device takes.
std::uint64_t FullScaleSamples(std::span<const std::uint8_t> samples, std::uint16_t bytes);

} // namespace driverhost
