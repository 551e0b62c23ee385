// libFuzzer's entry for the configuration validation.
#include "platform/usb/fuzz/configuration_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzzConfiguration(data, size);
}
