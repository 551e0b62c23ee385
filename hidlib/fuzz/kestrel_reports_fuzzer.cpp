// libFuzzer's entry for the reports a device sends to Kestrel.
#include "hidlib/fuzz/kestrel_reports_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzzKestrelReports(data, size);
}
