// What the driver's ASIO interface takes on a device, asked as an ASIO
// host's driver asks through its I/O controls (the sample types every ASIO
// endpoint offers, each rate the device names whether every endpoint takes
// it, the channels), the layout of each sample type's samples, the choice of
// one for the valid bits and container a run asks for, and their names.
#pragma once

#include "sim/os/asio_client.h"
#include "sim/usb/function_description.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace driverhost {

// The samples of an ASIO sample type, little-endian as a wave format lays
// them out: the valid bits at the top of the container.
struct AsioSampleLayout {
    std::uint16_t bits = 16;
    std::uint16_t container = 16;
};
// Nothing for a code that is no integer sample type.
std::optional<AsioSampleLayout> AsioLayoutOf(std::uint32_t sampleType);

struct AsioOffer {
    std::vector<std::uint32_t> sampleTypes; // in the driver's order
    std::vector<std::uint32_t> rates;       // ascending
    std::uint32_t outputs = 0;
    std::uint32_t inputs = 0;
};

// Every rate the device's descriptors name, either way, ascending.
std::vector<std::uint32_t> DescriptorRates(const usbsim::FunctionDescription& description);
// Asked of the driver through an open client's file.
AsioOffer AskAsio(ossim::AsioClient& client, const std::vector<std::uint32_t>& rates);

// The offered sample type of the valid bits in the container asked for (0:
// packed when offered, else the narrowest); nothing when none is offered.
std::optional<std::uint32_t> MatchSampleType(const AsioOffer& offer, std::uint16_t bits,
                                             std::uint16_t container);

// "27 (24 bits in 32)".
std::string SampleTypeName(std::uint32_t sampleType);
// Lines after `indent`: "channels: 2 out, 1 in", "sample types: ...",
// "rates: 44100, 48000 Hz".
std::string DescribeAsio(const AsioOffer& offer, const std::string& indent);

} // namespace driverhost
