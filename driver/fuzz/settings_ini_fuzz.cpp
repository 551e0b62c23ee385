#include "driver/fuzz/settings_ini_fuzz.h"

#include "driver/adapter/settings_ini_file.h"
#include "platform/fuzz/fuzz_folder.h"
#include "platform/fuzz/fuzz_require.h"
#include "platform/io/device_object.h"
#include "platform/io/registry.h"
#include "platform/io/registry_text.h"
#include "platform/io/system_folder.h"
#include "platform/kernel/pool.h"

#include <string>

namespace {

// The headset's stack: its physical device with an identity, the driver's device on it.
class CFuzzDevice {
public:
    CFuzzDevice() {
        fuzzRequire(io::createDevice(m_Bus, 0, &m_pPhysical) == kernel::STATUS_SUCCESS &&
                        io::setDeviceIdentity(m_pPhysical,
                                              {{u"USB\\VID_0B05&PID_17F3&REV_0100"},
                                               u"5&1&0&2",
                                               u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000"}) ==
                            kernel::STATUS_SUCCESS &&
                        io::createDevice(m_Driver, 0, &m_pFunction) == kernel::STATUS_SUCCESS &&
                        io::attachDeviceToDeviceStack(m_pFunction, m_pPhysical) == m_pPhysical,
                    "cannot make the device");
    }
    ~CFuzzDevice() {
        io::detachDevice(m_pPhysical);
        io::deleteDevice(m_pFunction);
        io::deleteDevice(m_pPhysical);
    }
    CFuzzDevice(const CFuzzDevice&) = delete;
    CFuzzDevice& operator=(const CFuzzDevice&) = delete;

    io::DeviceObject* Get() const { return m_pFunction; }

private:
    io::DriverObject m_Bus;
    io::DriverObject m_Driver;
    io::DeviceObject* m_pPhysical = nullptr;
    io::DeviceObject* m_pFunction = nullptr;
};

} // namespace

int FuzzSettingsIni(const std::uint8_t* pData, std::size_t cbData) {
    fuzz::clearScratchFolder();
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
