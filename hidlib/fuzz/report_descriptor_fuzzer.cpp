// libFuzzer's entry for the report-descriptor walk.
#include "hidlib/fuzz/report_descriptor_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzzReportDescriptor(data, size);
}
