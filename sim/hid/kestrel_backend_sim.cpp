// Kestrel's backend on the simulated headset: the report lengths come from the
// simulator's own table, and the pauses advance its clock instead of waiting.

#include "hidlib/hid_backend.h"

#include "sim/hid/hidsim.h"

namespace kestrel {

ReportLengths interfaceReportLengths(const char* path, std::uint16_t, std::uint16_t) {
    const auto desc = path ? hidsim::describe(path) : std::nullopt;
    if (!desc) return {};
    return {desc->featureLength, desc->inputLength, desc->outputLength, desc->reportId != 0};
}

void pauseMs(unsigned ms) { hidsim::sleepMs(ms); }

} // namespace kestrel
