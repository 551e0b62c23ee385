// libFuzzer's entry for the panel's file loaders.
#include "panel/fuzz/panel_files_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzzPanelFiles(data, size);
}
