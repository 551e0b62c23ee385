// What `driver-host --list` prints: every device of the catalogue, started
// in lockstep, with the formats its render and capture pins take and its
// effect controls, as the driver answers for them.
#pragma once

#include "tools/driver-host/host_device.h"
#include "tools/driver-host/host_effects.h"
#include "tools/driver-host/host_formats.h"

#include <string>
#include <vector>

namespace driverhost {

struct DeviceFormats {
    bool started = false; // the driver started on the device
    std::vector<PinFormat> render;
    std::vector<PinFormat> capture;
    std::vector<EffectControl> effects;
};

// The device started in lockstep with empty settings, its pins asked.
DeviceFormats OfferedFormats(const DeviceModel& model);

std::string ListDevices();

} // namespace driverhost
