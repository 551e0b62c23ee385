#include "tools/driver-host/stream_losses.h"

namespace driverhost {
namespace {

std::uint64_t ReadSample(const std::uint8_t* at, std::uint16_t bytes) {
    std::uint64_t value = 0;
    for (std::uint16_t b = 0; b < bytes; ++b) value |= std::uint64_t{at[b]} << (8 * b);
    return value;
}

} // namespace

CaptureLosses CountCaptureLosses(std::span<const std::uint8_t> frames, std::uint16_t channels,
                                 std::uint16_t bytes) {
    CaptureLosses losses;
    const std::size_t frameBytes = std::size_t{channels} * bytes;
    if (bytes == 0 || bytes > 4 || frameBytes == 0) return losses;
    const std::uint64_t range = std::uint64_t{1} << (8 * bytes);
    const std::uint64_t mask = range - 1;
    const std::size_t count = frames.size() / frameBytes;
    // The count unwrapped: each step is read as the nearest way round.
    std::uint64_t previous = 0; // the last frame's value, as it came
    std::int64_t unwrapped = 0; // the last frame's count
    std::int64_t furthest = 0;  // the furthest count reached
    std::uint64_t zeros = 0;    // silence since the last counted frame
    bool broken = false;        // the last frame did not follow the one before
    for (std::size_t f = 0; f < count; ++f) {
        const std::uint64_t value = ReadSample(frames.data() + f * frameBytes, bytes);
        if (f == 0) {
            previous = value;
            continue;
        }
        if (value == 0 && ((previous + 1 + zeros) & mask) != 0) {
            ++zeros; // silence where the count does not reach zero
            continue;
        }
        auto step = static_cast<std::int64_t>((value - previous) & mask);
        if (static_cast<std::uint64_t>(step) >= range / 2) step -= static_cast<std::int64_t>(range);
        const bool follows = step == 1 && zeros == 0;
        if (!follows && !broken) ++losses.discontinuities;
        broken = !follows;
        unwrapped += step;
        if (unwrapped > furthest) {
            losses.lost += static_cast<std::uint64_t>(unwrapped - furthest - 1);
            furthest = unwrapped;
        } else {
            ++losses.repeated; // a frame the count had passed already
        }
        if (follows) broken = false;
        previous = value;
        zeros = 0;
    }
    if (zeros != 0) {
        losses.lost += zeros;
        if (!broken) ++losses.discontinuities;
    }
    return losses;
}

std::uint64_t FullScaleSamples(std::span<const std::uint8_t> samples, std::uint16_t bytes) {
    if (bytes == 0 || bytes > 4) return 0;
    const std::uint16_t counted = bytes == 4 ? 3 : bytes; // the top bytes of a 4-byte sample
    const std::uint64_t top = (std::uint64_t{1} << (8 * counted - 1)) - 1;
    const std::uint64_t bottom = top + 1;
    std::uint64_t clipped = 0;
    for (std::size_t at = 0; at + bytes <= samples.size(); at += bytes) {
        const std::uint64_t value = ReadSample(samples.data() + at + (bytes - counted), counted);
        if (value == top || value == bottom) ++clipped;
    }
    return clipped;
}

} // namespace driverhost
