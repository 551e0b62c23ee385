// The files a run writes: the device's WAV file, the microphone's and the
// registry's file in the system root. Two of them that name one file, after
// the path is resolved (a dot, a link, a hard link), would be written one
// over the other, so the run is refused before anything starts.
#pragma once

#include "tools/driver-host/host_options.h"

#include <string>

namespace driverhost {

// The registry's file in the system root.
inline constexpr const char* registryFileName = "registry.txt";

// The two options that name one file, as "--out x and --capture-out ./x name
// one file"; empty when each names its own.
std::string SharedOutputFile(const Options& options);

} // namespace driverhost
