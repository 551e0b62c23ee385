// libFuzzer's entry for the device models' descriptor walks.
#include "driver/fuzz/device_walks_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzDeviceWalks(data, size);
}
