#pragma once

// The two things Kestrel needs beyond hidapi's calls, provided once for the
// real hidraw build and once for the build against the simulated headset.

#include "hidlib/report_lengths.h"

#include <cstdint>

namespace kestrel {

// Lengths of the top-level collection (usagePage, usage) behind an interface path.
ReportLengths interfaceReportLengths(const char* path, std::uint16_t usagePage,
                                     std::uint16_t usage);

// The pause that paces the headset's command processing.
void pauseMs(unsigned ms);

} // namespace kestrel
