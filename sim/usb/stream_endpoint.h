// An isochronous endpoint as the function's current settings have it: which
// streaming interface and setting it belongs to, what it does (an OUT data
// sink, an IN data source or an explicit feedback source), its packet limit
// and interval, the frame layout of the setting's format, and the nominal
// rate the host set: a release 1 endpoint's sampling frequency, or the
// frequency of the release 2 clock source that clocks the setting's terminal.
#pragma once

#include "sim/usb/usb_function.h"

#include <cstdint>
#include <optional>

namespace usbsim {

enum class StreamRole { sink, source, feedback };

struct StreamEndpoint {
    std::uint8_t address = 0;
    std::uint8_t interface = 0;
    std::uint8_t setting = 0;
    std::uint32_t selection = 0; // the interface's selection count (UsbFunction::selections)
    StreamRole role = StreamRole::sink;
    std::uint32_t maxPacket = 0; // bytes a packet may carry, extra transactions included
    std::uint8_t interval = 1;
    std::uint8_t channels = 0;
    std::uint8_t subslotSize = 0;
    std::uint32_t nominalRate = 0; // 0 when no rate is set or found
};

// Nothing when no streaming interface has the endpoint in its current setting.
std::optional<StreamEndpoint> findStreamEndpoint(const UsbFunction& function, std::uint8_t address);

} // namespace usbsim
