// libFuzzer's entry for the status messages and feedback packets.
#include "driver/fuzz/stream_status_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzStreamStatus(data, size);
}
