#pragma once

// One command of the headset's protocol: byte 0 the code, bytes 1 to 7 the
// payload, zero where a command names nothing. A read command is the matching
// write code with bit 7 set.

#include <array>
#include <cstdint>

namespace panel {

using HidCommand = std::array<std::uint8_t, 8>;

constexpr std::uint8_t kMainReportId = 0xFF;
constexpr std::uint8_t kVendorReportId = 1;
constexpr unsigned kSmallBlockBytes = 64;
constexpr unsigned kMacroBlockBytes = 192;

} // namespace panel
