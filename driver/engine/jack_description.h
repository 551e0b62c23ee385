// The 36-byte record of one jack, as terminals report it and the topology
// filter reads it: little-endian 32-bit fields.
#pragma once

#include <cstddef>
#include <cstdint>

struct JackDescription {
    std::uint32_t ChannelMapping;
    std::uint32_t Color; // 0x00RRGGBB
    std::uint32_t ConnectionType;
    std::uint32_t GeoLocation;
    std::uint32_t GenLocation;
    std::uint32_t PortConnection;
    std::uint32_t Reserved;
    std::uint32_t IsConnected; // non-zero when the jack is connected
    std::uint32_t PresenceFlag;
};

static_assert(sizeof(JackDescription) == 36 && offsetof(JackDescription, IsConnected) == 28);
