// The per-endpoint information records of the generic models: words 0
// (features), 4 and 6 of the record an endpoint reports, derived by
// direction (1 capture) and endpoint type from the device's own record and,
// for some devices, fixed by vendor and product. Every other word is 0.
#pragma once

#include "driver/engine/terminal_item.h"

#include <cstdint>

struct EndpointInfoQuery {
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::uint32_t direction;
    std::uint32_t endpointType;
    std::uint32_t endpointCount; // of the whole device
};

EndpointInfoRecord Uac1EndpointInfo(const EndpointInfoQuery& query,
                                    const EndpointInfoRecord& device);
EndpointInfoRecord Uac2EndpointInfo(const EndpointInfoQuery& query,
                                    const EndpointInfoRecord& device);
