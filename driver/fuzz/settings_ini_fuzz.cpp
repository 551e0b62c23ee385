#include "driver/fuzz/settings_ini_fuzz.h"

#include "driver/adapter/settings_ini_file.h"
#include "driver/fuzz/fuzz_device.h"
#include "platform/fuzz/fuzz_folder.h"
#include "platform/fuzz/fuzz_require.h"
#include "platform/io/device_object.h"
#include "platform/io/registry.h"
#include "platform/io/registry_text.h"
#include "platform/io/system_folder.h"
#include "platform/kernel/debug_print.h"
#include "platform/kernel/pool.h"

#include <string>

int FuzzSettingsIni(const std::uint8_t* pData, std::size_t cbData) {
    fuzz::clearScratchFolder();
    kernel::clearDebugLog(); // refusals print; a long run keeps no log of them
    fuzz::writeFile(fuzz::scratchFolder() / "ZOVRAQ7K2X1.INI",
                    std::string_view(reinterpret_cast<const char*>(pData), cbData));
    io::Registry registry;
    io::SystemRoot systemRoot(fuzz::scratchFolder());
    const CFuzzDevice device;
    const std::uint64_t serial = kernel::poolAllocationSerial();

    fuzzRequire(ImportSettingsIni(device.Get()) == kernel::STATUS_SUCCESS, "the import failed");
    const std::string imported = io::dumpRegistry();
    fuzzRequire(ImportSettingsIni(device.Get()) == kernel::STATUS_SUCCESS, "the import failed");
    fuzzRequire(io::dumpRegistry() == imported, "a second start changed the settings");

    fuzzRequire(kernel::poolBlocksSince(serial).empty(), "the import left a pool block");
    fuzzRequire(io::openFilePaths().empty(), "the import left the file open");
    return 0;
}
