// libFuzzer's entry for the ASIO interface's device controls.
#include "driver/fuzz/asio_control_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzAsioControl(data, size);
}
