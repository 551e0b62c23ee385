#include "tools/driver-host/wav_file.h"

#include <fstream>
#include <vector>

namespace driverhost {
namespace {

void put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void put(std::vector<std::uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

} // namespace

bool writeWav(const std::string& path, const WavFormat& format,
              std::span<const std::uint8_t> samples) {
    const std::uint32_t block = std::uint32_t{format.channels} * format.bytesPerSample;
    if (block == 0) return false;
    const auto data = static_cast<std::uint32_t>(samples.size() / block * block);
    std::vector<std::uint8_t> header;
    put(header, "RIFF");
    put(header, 36 + data, 4);
    put(header, "WAVE");
    put(header, "fmt ");
    put(header, 16, 4);
    put(header, 1, 2); // PCM
    put(header, format.channels, 2);
    put(header, format.rate, 4);
    put(header, format.rate * block, 4);
    put(header, block, 2);
    put(header, format.bytesPerSample * 8u, 2);
    put(header, "data");
    put(header, data, 4);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(header.data()),
               static_cast<std::streamsize>(header.size()));
    file.write(reinterpret_cast<const char*>(samples.data()), data);
    file.close();
    return static_cast<bool>(file);
}

} // namespace driverhost
