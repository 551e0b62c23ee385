#pragma once

// Report lengths of a Linux hidraw node, read from the report descriptor that
// the kernel publishes for it in sysfs. hidapi offers no call for them.

#include "hidlib/report_lengths.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// "/dev/hidraw3" -> "<sysRoot>/class/hidraw/hidraw3/device/report_descriptor";
// null for a path that names no hidraw node.
std::optional<std::string> reportDescriptorFile(std::string_view devicePath,
                                                std::string_view sysRoot);

// Zeros when the descriptor can't be read or parsed: the transfers then
// refuse the interface instead of guessing.
ReportLengths hidrawReportLengths(std::string_view devicePath, std::uint16_t usagePage,
                                  std::uint16_t usage, std::string_view sysRoot = "/sys");

} // namespace kestrel
