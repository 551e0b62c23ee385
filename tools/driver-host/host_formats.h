// The formats a wave pin may be asked for: those a device's descriptors name
// (every layout of the direction's settings at every rate it names, packed
// and in its subslots) and the standard speaker layouts a driver may convert
// to the device's; which of them the driver takes, the host learns by asking
// its pin. Their names, grouped for a reader, and the choice among them.
#pragma once

#include "platform/ks/data_format.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/usb/function_description.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace driverhost {

struct PinFormat {
    std::uint32_t rate = 48000;
    std::uint16_t channels = 2;
    std::uint16_t bits = 16;      // valid bits of a sample
    std::uint16_t container = 16; // bits a sample takes
    std::uint32_t channelMask = 0x3;

    friend bool operator==(const PinFormat&, const PinFormat&) = default;
};

// Every format worth asking the direction's pin for, in a stable order.
std::vector<PinFormat> CandidateFormats(const usbsim::FunctionDescription& description, bool in);

// The speaker positions a client names its channels by: the device's own
// cluster when it has the channels (release 2), else the standard layout.
std::uint32_t ClientChannelMask(const usbsim::FunctionDescription& description, bool in,
                                std::uint16_t channels);

// The record an audio engine opens a pin with for the format.
ks::DataFormatWaveFormatExtensible PinDataFormat(const PinFormat& format);
// The candidates the filter's first pin opens with: the driver's own
// answer, asked as an audio engine asks before it plays.
std::vector<PinFormat> PinFormats(const portcls::FilterHandle& filter,
                                  std::span<const PinFormat> candidates);

// "48000 Hz, 2 channels, 24 bits in 32".
std::string FormatName(const PinFormat& format);
// The formats grouped by layout, one group a line after `indent`:
// "2 channels, 16 bits: 44100, 48000 Hz".
std::string DescribeFormats(std::span<const PinFormat> formats, const std::string& indent);

// The offered format of the rate, channels and valid bits, in the container
// asked for (0: packed when offered, else the narrowest); null when none.
const PinFormat* MatchFormat(std::span<const PinFormat> offered, std::uint32_t rate,
                             std::uint16_t channels, std::uint16_t bits, std::uint16_t container);
// The offered format nearest the rate and bits: the closest rate first, then
// the closest valid bits, then the fewest channels; null when none is offered.
const PinFormat* NearestFormat(std::span<const PinFormat> offered, std::uint32_t rate,
                               std::uint16_t bits);

} // namespace driverhost
