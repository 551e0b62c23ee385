// A PCM WAV file of little-endian samples, as a device received them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace driverhost {

struct WavFormat {
    std::uint32_t rate = 48000;
    std::uint16_t channels = 2;
    std::uint16_t bytesPerSample = 2;
};

// Writes the header and the bytes (whole frames only); false when the file
// cannot be written completely.
bool writeWav(const std::string& path, const WavFormat& format,
              std::span<const std::uint8_t> samples);

} // namespace driverhost
