// libFuzzer's entry for the settings INI import.
#include "driver/fuzz/settings_ini_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzSettingsIni(data, size);
}
