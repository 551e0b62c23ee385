#include "hidlib/fuzz/report_descriptor_fuzz.h"

#include "hidlib/report_descriptor.h"
#include "platform/fuzz/fuzz_require.h"

#include <algorithm>

namespace {

bool plausible(unsigned length) { return length == 0 || (length >= 2 && length <= 0xFFFF); }

} // namespace

int fuzzReportDescriptor(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto parsed = kestrel::parseReportDescriptor(bytes);
    const auto again = kestrel::parseReportDescriptor(bytes);
    fuzzRequire(parsed.has_value() == again.has_value(), "the same bytes parsed differently");
    if (!parsed) return 0;
    fuzzRequire(parsed->size() == again->size(), "the same bytes gave other collections");
    for (std::size_t i = 0; i < parsed->size(); ++i) {
        const kestrel::TopLevelCollection& c = (*parsed)[i];
        fuzzRequire(c.lengths == (*again)[i].lengths, "the same bytes gave other lengths");
        fuzzRequire(plausible(c.lengths.input) && plausible(c.lengths.output) &&
                        plausible(c.lengths.feature),
                    "a report length no report can have");
    }
    const std::uint16_t page = size >= 2 ? std::uint16_t(data[0] | data[1] << 8) : 0;
    const std::uint16_t usage = size >= 4 ? std::uint16_t(data[2] | data[3] << 8) : 0;
    const kestrel::ReportLengths found = kestrel::lengthsForUsage(*parsed, page, usage);
    const bool known = std::any_of(parsed->begin(), parsed->end(),
                                   [&](const auto& c) { return c.lengths == found; });
    fuzzRequire(parsed->empty() ? found == kestrel::ReportLengths{} : known,
                "the lookup made up lengths");
    return 0;
}
