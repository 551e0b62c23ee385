// The wave filter's automation table: in the driver's level set, the
// endpoint's information record and whether the endpoint plays a format.
#pragma once

#include "platform/portcls/descriptors.h"

#include <cstdint>

// Ids of the wave filter's properties in the level set.
inline constexpr std::uint32_t LEVEL_ENDPOINT_RECORD = 1; // get: the 32-byte record
inline constexpr std::uint32_t LEVEL_FORMAT_SUPPORT = 5;  // set: an extensible wave record

namespace wave_automation {

extern const portcls::AutomationTable filter;

// Exposed for the tests, which call it with requests the port would refuse.
kernel::NTSTATUS FilterProperty(portcls::PropertyRequest* request);

} // namespace wave_automation
