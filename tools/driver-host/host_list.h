// What `driver-host --list` prints: every device of the catalogue, started
// in lockstep, with the formats its render and capture pins take and its
// effect controls, and on a device that serves ASIO what its ASIO interface
// takes, as the driver answers for them.
#pragma once

#include "tools/driver-host/host_asio.h"
#include "tools/driver-host/host_device.h"
#include "tools/driver-host/host_effects.h"
#include "tools/driver-host/host_formats.h"

#include <optional>
#include <string>
#include <vector>

namespace driverhost {

struct DeviceFormats {
    bool started = false; // the driver started on the device
    std::vector<PinFormat> render;
    std::vector<PinFormat> capture;
    std::vector<EffectControl> effects;
    std::optional<AsioOffer> asio; // on a device that serves ASIO
};

// The device started in lockstep with empty settings, its pins asked.
DeviceFormats OfferedFormats(const DeviceModel& model);

std::string ListDevices();

} // namespace driverhost
