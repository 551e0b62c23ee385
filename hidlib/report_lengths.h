#pragma once

#include <cstdint>

namespace kestrel {

// The report lengths one HID top-level collection declares, counted as the
// original platform counts them: the largest report of each kind plus one
// byte for the report id, which is 0 when the reports carry none. A kind the
// collection does not have is 0.
struct ReportLengths {
    unsigned feature = 0;
    unsigned input = 0;
    unsigned output = 0;
    bool numbered = false; // reports start with a report id

    bool operator==(const ReportLengths&) const = default;
};

} // namespace kestrel
