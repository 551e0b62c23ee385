// The simulated devices the host runs on, and what the host needs to know of
// them: the wave filters the driver made and the endpoints its streams reach
// on the bus.
#pragma once

#include "platform/kernel/guid.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/usb/function_description.h"
#include "tools/driver-host/wav_file.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace driverhost {

// A device of the catalogue: its one-word name, what it is, its description
// and whether its endpoints serve ASIO.
struct DeviceModel {
    const char* name;
    const char* about;
    usbsim::FunctionDescription (*describe)();
    bool asio;
};

std::span<const DeviceModel> DeviceModels();
const DeviceModel* FindDeviceModel(std::string_view name);
// The device a run plays on: the one named, or with ASIO, the device of its
// release that serves ASIO (nothing when there is none).
const DeviceModel* RunDeviceModel(std::string_view name, bool asio);
// The names of the devices, "a, b, c", the ASIO ones only when asked.
std::string DeviceNames(bool asioOnly);

// The first wave filter of the category (render or capture); empty when
// there is none.
std::u16string WaveFilter(const std::vector<portcls::SubdeviceRecord>& subdevices,
                          const kernel::Guid& category);

// A data endpoint, the sample layout it carries at the rate and, for an
// asynchronous OUT endpoint, its feedback endpoint (0 when it has none).
struct DataEndpoint {
    std::uint8_t address = 0;
    WavFormat format;
    std::uint8_t feedback = 0;
};

// The streaming interface of the direction and its data endpoint in the
// given alternate setting (1 and up), else in its first; nothing when the
// device streams nothing that way.
std::optional<DataEndpoint> StreamingEndpoint(const usbsim::FunctionDescription& description,
                                              bool in, std::uint32_t rate,
                                              std::uint8_t alternateSetting = 1);
// The number of the direction's streaming interface; nothing without one.
std::optional<std::uint8_t> StreamingInterface(const usbsim::FunctionDescription& description,
                                               bool in);

} // namespace driverhost
