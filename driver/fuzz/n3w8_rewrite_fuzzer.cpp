// libFuzzer's entry for the N3W8 configuration rewrite.
#include "driver/fuzz/n3w8_rewrite_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzN3W8Rewrite(data, size);
}
