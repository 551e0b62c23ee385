// A PCM WAV file of little-endian samples, as a device received them. More
// than two channels, or fewer valid bits than the container holds, take the
// extensible header (its valid bits, channel mask and PCM subformat), which
// readers need to take such a file for what it is; any other file keeps the
// plain 16-byte format chunk.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace driverhost {

struct WavFormat {
    std::uint32_t rate = 48000;
    std::uint16_t channels = 2;
    std::uint16_t bytesPerSample = 2;
    std::uint16_t validBits = 0;   // 0: all of the container's bits
    std::uint32_t channelMask = 0; // the speakers of the channels, in order; 0: none named

    std::uint16_t containerBits() const { return static_cast<std::uint16_t>(bytesPerSample * 8); }
    std::uint16_t sampleBits() const { return validBits != 0 ? validBits : containerBits(); }
    bool extensible() const { return channels > 2 || sampleBits() < containerBits(); }
};

// Writes the header and the bytes (whole frames only); false when the file
// cannot be written completely.
bool writeWav(const std::string& path, const WavFormat& format,
              std::span<const std::uint8_t> samples);

} // namespace driverhost
