// The files of the system root the driver refused (its settings INI, the
// registry's file), each with its reason, as the program names them on
// standard error in every run. They are found among the debug prints of the
// system folder, the driver's INI reader and the registry file, which name
// every such refusal; the rest of the debug stream is not the user's unless
// asked for.
#pragma once

#include <string>
#include <vector>

namespace driverhost {

// One line each, "refused FILE: REASON", without a line end.
std::vector<std::string> RefusedSystemFiles(const std::vector<std::string>& debugPrints);

} // namespace driverhost
