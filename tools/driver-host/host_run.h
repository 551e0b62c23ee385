// One run of the driver on a simulated headset: load and start it from its
// entry point, play the signal through the first render wave pin in
// lockstep, then remove the device.
#pragma once

#include "platform/kernel/status.h"
#include "tools/driver-host/host_options.h"

#include <cstdint>
#include <string>

namespace driverhost {

struct RunResult {
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    std::string failure; // what failed, when status does not succeed
    std::uint64_t frames = 0;
    std::uint64_t packets = 0;
    std::uint64_t notifications = 0;
    std::uint64_t underruns = 0;
    std::size_t poolBlocksLeft = 0; // after the device and the driver are gone
};

RunResult runDriverHost(const Options& options);

} // namespace driverhost
