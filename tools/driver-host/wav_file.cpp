#include "tools/driver-host/wav_file.h"

#include <array>
#include <cstddef>
#include <fstream>

namespace driverhost {
namespace {

constexpr std::size_t HeaderBytes = 44;

// Writes little-endian fields into the fixed 44-byte header, in order.
class HeaderWriter {
public:
    void put(std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            m_Bytes[m_At++] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    void put(const char (&tag)[5]) {
        for (int i = 0; i < 4; ++i) m_Bytes[m_At++] = static_cast<std::uint8_t>(tag[i]);
    }
    const std::array<std::uint8_t, HeaderBytes>& bytes() const { return m_Bytes; }

private:
    std::array<std::uint8_t, HeaderBytes> m_Bytes{};
    std::size_t m_At = 0;
};

} // namespace

bool writeWav(const std::string& path, const WavFormat& format,
              std::span<const std::uint8_t> samples) {
    const std::uint32_t block = std::uint32_t{format.channels} * format.bytesPerSample;
    if (block == 0) return false;
    const auto data = static_cast<std::uint32_t>(samples.size() / block * block);
    HeaderWriter header;
    header.put("RIFF");
    header.put(36 + data, 4);
    header.put("WAVE");
    header.put("fmt ");
    header.put(16, 4);
    header.put(1, 2); // PCM
    header.put(format.channels, 2);
    header.put(format.rate, 4);
    header.put(format.rate * block, 4);
    header.put(block, 2);
    header.put(format.bytesPerSample * 8u, 2);
    header.put("data");
    header.put(data, 4);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(header.bytes().data()),
               static_cast<std::streamsize>(HeaderBytes));
    file.write(reinterpret_cast<const char*>(samples.data()), data);
    file.close();
    return static_cast<bool>(file);
}

} // namespace driverhost
