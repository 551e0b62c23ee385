// One 1 ms render packet of a 48 kHz, 8-channel, 16-bit stream, and the plain
// copy of a packet that each packet case is measured against.
#pragma once

#include "driver/tests/test_wave_formats.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace render_packet {

inline constexpr std::uint16_t kChannels = 8;
inline constexpr std::uint32_t kFrames = 48;
inline constexpr std::uint32_t kPacketBytes = kFrames * kChannels * sizeof(std::int16_t);

inline ks::WaveFormatExtensible PacketFormat() { return TestPcmFormat(kChannels, 16); }

// Random samples from `lowest` to `highest`, the same every run.
inline std::vector<std::int16_t> Packet(int lowest, int highest) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> sample(lowest, highest);
    std::vector<std::int16_t> packet(kFrames * kChannels);
    for (std::int16_t& s : packet) s = static_cast<std::int16_t>(sample(rng));
    return packet;
}

inline void CopyPacket(benchmark::State& state, const std::vector<std::int16_t>& source) {
    std::vector<std::int16_t> copy(source.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), source.data(), kPacketBytes);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kPacketBytes);
}

} // namespace render_packet
