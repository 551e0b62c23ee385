#include "tools/driver-host/wav_file.h"

#include <array>
#include <cstddef>
#include <fstream>
#include <vector>

namespace driverhost {
namespace {

constexpr std::uint16_t PcmTag = 1;
constexpr std::uint16_t ExtensibleTag = 0xFFFE;
constexpr std::uint16_t ExtensionBytes = 22;
// The PCM subformat's identifier, as the file stores it.
constexpr std::array<std::uint8_t, 16> PcmSubformat = {
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Appends little-endian fields to the header, in order.
class HeaderWriter {
public:
    void put(std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            m_Bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    void put(const char (&tag)[5]) { m_Bytes.insert(m_Bytes.end(), tag, tag + 4); }
    void put(std::span<const std::uint8_t> bytes) {
        m_Bytes.insert(m_Bytes.end(), bytes.begin(), bytes.end());
    }
    const std::vector<std::uint8_t>& bytes() const { return m_Bytes; }

private:
    std::vector<std::uint8_t> m_Bytes;
};

} // namespace

bool writeWav(const std::string& path, const WavFormat& format,
              std::span<const std::uint8_t> samples) {
    const std::uint32_t block = std::uint32_t{format.channels} * format.bytesPerSample;
    if (block == 0) return false;
    const auto data = static_cast<std::uint32_t>(samples.size() / block * block);
    const bool extensible = format.extensible();
    const std::uint32_t formatBytes = extensible ? 18u + ExtensionBytes : 16u;
    HeaderWriter header;
    header.put("RIFF");
    header.put(4 + 8 + formatBytes + 8 + data, 4);
    header.put("WAVE");
    header.put("fmt ");
    header.put(formatBytes, 4);
    header.put(extensible ? ExtensibleTag : PcmTag, 2);
    header.put(format.channels, 2);
    header.put(format.rate, 4);
    header.put(format.rate * block, 4);
    header.put(block, 2);
    header.put(format.containerBits(), 2);
    if (extensible) {
        header.put(ExtensionBytes, 2);
        header.put(format.sampleBits(), 2);
        header.put(format.channelMask, 4);
        header.put(PcmSubformat);
    }
    header.put("data");
    header.put(data, 4);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(header.bytes().data()),
               static_cast<std::streamsize>(header.bytes().size()));
    file.write(reinterpret_cast<const char*>(samples.data()), data);
    file.close();
    return static_cast<bool>(file);
}

} // namespace driverhost
