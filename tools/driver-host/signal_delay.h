// Where the played signal begins in what the device received.
#pragma once

#include "tools/driver-host/host_options.h"

#include <cstdint>
#include <span>

namespace driverhost {

// Frames of the device's stream (frames of `frameBytes`) before the signal's
// first frame: the first frame with a sample not zero, less the frames of
// silence the signal itself begins with. -1 when no frame is sounding.
std::int64_t SignalDelay(std::span<const std::uint8_t> stream, std::uint32_t frameBytes,
                         const Options& options);

} // namespace driverhost
