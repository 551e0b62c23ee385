// Identifiers of the chip maker that several layers of the driver compare
// against: its USB vendor id, which is also the first field of its
// vendor-specific audio format subtype.
#pragma once

#include <cstdint>

inline constexpr std::uint16_t MakerVendorId = 0x5A17;
