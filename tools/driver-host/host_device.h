// The simulated headset the host runs on, and what the host needs to know of
// it: the wave filters the driver made for it and the endpoints its streams
// reach on the bus.
#pragma once

#include "platform/kernel/guid.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/usb/function_description.h"
#include "tools/driver-host/host_options.h"
#include "tools/driver-host/wav_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace driverhost {

// The release 1 headset (with a firmware string), or the release 2 device
// with explicit feedback; for ASIO, the release 1 chip headset or the
// release 2 device whose endpoints serve it.
usbsim::FunctionDescription Headset(bool uac2, bool asio = false);

// The first wave filter of the category (render or capture); empty when
// there is none.
std::u16string WaveFilter(const std::vector<portcls::SubdeviceRecord>& subdevices,
                          const kernel::Guid& category);

// A data endpoint, the sample layout it carries, the channel mask a client
// format names it by and, for an asynchronous OUT endpoint, its feedback
// endpoint (0 when it has none).
struct DataEndpoint {
    std::uint8_t address = 0;
    WavFormat format;
    std::uint32_t channelMask = 0;
    std::uint8_t feedback = 0;
};

// The setting of the direction that carries the channels and bits given,
// else the first setting of the direction; nothing when the device streams
// nothing that way.
std::optional<DataEndpoint> FindEndpoint(const usbsim::FunctionDescription& description, bool in,
                                         std::uint32_t rate, std::uint16_t channels,
                                         std::uint16_t bits);

} // namespace driverhost
