#include "driver/adapter/settings_ini_file.h"
#include "driver/common/settings_store.h"

kernel::NTSTATUS ImportSettingsIni(io::DeviceObject* pDeviceObject) {
    CSettingsIniFile* pIniFile =
        new (kernel::PoolType::NonPagedNx, INI_FILE_TAG) CSettingsIniFile(pDeviceObject);
    if (pIniFile == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    if (kernel::succeeded(pIniFile->Prepare())) {
        const std::uint32_t ulFileVersion = pIniFile->GetVersion();
        std::uint32_t ulImported = 0;
        AccessSetting(pDeviceObject, SETTING_READ, &ulImported, sizeof ulImported, u"IniVersion");
        if (ulImported < ulFileVersion && kernel::succeeded(pIniFile->OpenAndLookup()) &&
            kernel::succeeded(pIniFile->ImportAll())) {
            std::uint32_t ulVersion = ulFileVersion;
            AccessSetting(pDeviceObject, SETTING_WRITE, &ulVersion, sizeof ulVersion,
                          u"IniVersion");
        }
    }
    delete pIniFile;
    return kernel::STATUS_SUCCESS;
}
