// The frames of each outgoing packet: the whole frames a packet carries at
// the rate, and a fractional accumulator that adds one frame (or, when the
// rate lies below the whole frames, takes one away) as often as the
// remainder needs, so a second of packets carries exactly the rate's frames.
#pragma once

#include <cstdint>

class CPacketSizer {
public:
    // `packetsPerSecond` is at least 1000; `wholeFrames` the frames of a
    // packet at the nominal rate.
    void Reset(std::uint32_t wholeFrames, std::uint32_t packetsPerSecond) {
        m_ulWholeFrames = wholeFrames;
        m_ulPacketsPerSecond = packetsPerSecond;
        m_llAccumulator = 0;
    }

    // The frames of the next packet at the rate (frames a second).
    std::uint32_t NextFrames(std::uint32_t rate, std::int32_t* extra) {
        const std::int64_t perSecond = m_ulPacketsPerSecond;
        m_llAccumulator += std::int64_t{rate} - std::int64_t{m_ulWholeFrames} * perSecond;
        const std::int64_t step = m_llAccumulator / perSecond; // toward zero: -1, 0 or 1
        m_llAccumulator %= perSecond;
        *extra = static_cast<std::int32_t>(step);
        const std::int64_t frames = std::int64_t{m_ulWholeFrames} + step;
        return frames > 0 ? static_cast<std::uint32_t>(frames) : 0;
    }

    std::uint32_t WholeFrames() const { return m_ulWholeFrames; }

private:
    std::uint32_t m_ulWholeFrames = 0;
    std::uint32_t m_ulPacketsPerSecond = 1000;
    std::int64_t m_llAccumulator = 0;
};
