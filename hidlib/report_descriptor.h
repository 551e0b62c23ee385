#pragma once

// Walks a HID report descriptor (the item stream a device returns for its
// interface) far enough to know each top-level collection's usage and the
// size of its reports.

#include "hidlib/report_lengths.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kestrel {

struct TopLevelCollection {
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    ReportLengths lengths;
};

// Null when the descriptor is malformed: an item that runs past the end, an
// unbalanced collection or pop, or a report too large for a 16-bit length.
std::optional<std::vector<TopLevelCollection>>
parseReportDescriptor(std::span<const std::uint8_t> descriptor);

// The collection with this usage; the first one when none has it (an
// enumeration that reports only one usage per device); zeros when there is none.
ReportLengths lengthsForUsage(const std::vector<TopLevelCollection>& collections,
                              std::uint16_t usagePage, std::uint16_t usage);

} // namespace kestrel
