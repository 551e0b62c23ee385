// What a filter tells of the jacks behind one of its pins: per jack its
// channels, colour, connector, location and whether something is plugged
// in, and in the second form its state and capabilities. The replies are a
// MultipleItem head followed by one record per jack; pinned.
#pragma once

#include <cstdint>

namespace ks {

struct JackDescription {
    std::uint32_t ChannelMapping;
    std::uint32_t Color; // 0x00RRGGBB
    std::uint32_t ConnectionType;
    std::uint32_t GeoLocation;
    std::uint32_t GenLocation;
    std::uint32_t PortConnection;
    std::uint32_t IsConnected; // a 32-bit boolean
};
static_assert(sizeof(JackDescription) == 28);

struct JackDescription2 {
    std::uint32_t DeviceStateInfo;
    std::uint32_t JackCapabilities;
};
static_assert(sizeof(JackDescription2) == 8);

namespace jack_capabilities {
// The jack reports whether something is plugged in.
inline constexpr std::uint32_t presenceDetection = 0x00000001;
} // namespace jack_capabilities

} // namespace ks
