// libFuzzer's entry for the panel's reading of the headset's replies.
#include "panel/fuzz/hid_replies_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzzHidReplies(data, size);
}
