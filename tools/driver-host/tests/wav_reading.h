// A WAV file read back as a reader takes it: the format chunk's fields
// (with the extensible part when the tag says so) and where the data lies,
// found by walking the chunks rather than by assuming the header's length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <vector>

namespace driverhost::testing {

struct WavRead {
    std::uint16_t tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint32_t bytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint32_t formatBytes = 0; // of the format chunk
    // Extensible only.
    std::uint16_t extensionBytes = 0;
    std::uint16_t validBits = 0;
    std::uint32_t channelMask = 0;
    std::vector<std::uint8_t> subformat;
    std::uint32_t riffBytes = 0;
    std::vector<std::uint8_t> data;

    std::size_t frames() const { return blockAlign == 0 ? 0 : data.size() / blockAlign; }
};

inline std::uint32_t LittleEndian(std::span<const std::uint8_t> bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value |= std::uint32_t{bytes[at + i]} << (8 * i);
    return value;
}

// The file's bytes as they lie on disk; none when it cannot be read.
inline std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Nothing when the file is not a whole RIFF WAVE with a format and a data chunk.
inline std::optional<WavRead> ReadWav(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = ReadFile(path);
    const auto tagAt = [&bytes](std::size_t at, const char* tag) {
        return at + 4 <= bytes.size() && std::equal(tag, tag + 4, bytes.begin() + at);
    };
    if (!tagAt(0, "RIFF") || !tagAt(8, "WAVE")) return std::nullopt;
    WavRead wav;
    wav.riffBytes = LittleEndian(bytes, 4, 4);
    if (wav.riffBytes + 8 != bytes.size()) return std::nullopt;
    bool format = false;
    bool data = false;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::uint32_t size = LittleEndian(bytes, at + 4, 4);
        const std::size_t body = at + 8;
        if (body + size > bytes.size()) return std::nullopt;
        if (tagAt(at, "fmt ") && size >= 16) {
            format = true;
            wav.formatBytes = size;
            wav.tag = static_cast<std::uint16_t>(LittleEndian(bytes, body, 2));
            wav.channels = static_cast<std::uint16_t>(LittleEndian(bytes, body + 2, 2));
            wav.rate = LittleEndian(bytes, body + 4, 4);
            wav.bytesPerSecond = LittleEndian(bytes, body + 8, 4);
            wav.blockAlign = static_cast<std::uint16_t>(LittleEndian(bytes, body + 12, 2));
            wav.bitsPerSample = static_cast<std::uint16_t>(LittleEndian(bytes, body + 14, 2));
            if (size >= 40) {
                wav.extensionBytes = static_cast<std::uint16_t>(LittleEndian(bytes, body + 16, 2));
                wav.validBits = static_cast<std::uint16_t>(LittleEndian(bytes, body + 18, 2));
                wav.channelMask = LittleEndian(bytes, body + 20, 4);
                wav.subformat.assign(bytes.begin() + body + 24, bytes.begin() + body + 40);
            }
        } else if (tagAt(at, "data")) {
            data = true;
            wav.data.assign(bytes.begin() + body, bytes.begin() + body + size);
        }
        at = body + size + (size & 1);
    }
    if (!format || !data) return std::nullopt;
    return wav;
}

} // namespace driverhost::testing
