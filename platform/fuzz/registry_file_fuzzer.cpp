// libFuzzer's entry for the registry file loader.
#include "platform/fuzz/registry_file_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzzRegistryFile(data, size);
}
