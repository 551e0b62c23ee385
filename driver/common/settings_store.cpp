#include "driver/common/settings_store.h"

#include "driver/common/pool_buffer.h"
#include "platform/io/device_registry_key.h"
#include "platform/io/registry.h"
#include "platform/kernel/format.h"
#include "platform/kernel/irql.h"

#include <cstring>

namespace {

constexpr kernel::PoolTag QUERY_TAG = kernel::poolTag("hlep");

// The query buffer has room for the partial-information record as declared
// (16 bytes) besides the caller's length; its data starts 4 bytes earlier.
constexpr std::uint32_t QUERY_OVERHEAD = sizeof(io::KeyValuePartialInformation);

bool IsSettingType(io::RegistryValueType ulType) {
    return ulType == io::REG_SZ || ulType == io::REG_BINARY || ulType == io::REG_DWORD;
}

kernel::NTSTATUS OpenSettingsKey(io::DeviceObject* pDeviceObject, const char16_t* pszSubkey,
                                 io::RegistryKey& key) {
    io::RegistryKey driverKey;
    kernel::NTSTATUS status =
        io::openDeviceRegistryKey(pDeviceObject, io::DeviceRegistryKey::Driver, driverKey);
    if (!kernel::succeeded(status)) return status;
    io::RegistryKey settingsKey;
    status = io::createKey(settingsKey, kernel::makeUnicodeString(u"Settings"), &driverKey);
    if (!kernel::succeeded(status) || pszSubkey == nullptr) {
        key = std::move(settingsKey);
        return status;
    }
    return io::createKey(key, kernel::makeUnicodeString(pszSubkey), &settingsKey);
}

kernel::NTSTATUS ReadSetting(const io::RegistryKey& key, const kernel::UnicodeString& name,
                             void* pBuffer, std::uint32_t ulLength, std::uint32_t* pulDataLength) {
    const std::uint64_t queryBytes = std::uint64_t{ulLength} + QUERY_OVERHEAD;
    if (queryBytes > UINT32_MAX) return kernel::STATUS_INVALID_PARAMETER;
    const CPoolBuffer query(kernel::PoolType::Paged, queryBytes, QUERY_TAG);
    if (!query.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::uint32_t resultLength = 0;
    const kernel::NTSTATUS status = io::queryValuePartialInformation(
        key, name, query.Get(), static_cast<std::uint32_t>(queryBytes), &resultLength);
    if (!kernel::succeeded(status)) return status;
    const auto* info = query.Get<io::KeyValuePartialInformation>();
    if (info->dataLength > ulLength) return kernel::STATUS_UNSUCCESSFUL;
    if (info->dataLength != 0) std::memcpy(pBuffer, info->data, info->dataLength);
    if (pulDataLength != nullptr) *pulDataLength = info->dataLength;
    return kernel::STATUS_SUCCESS;
}

} // namespace

kernel::NTSTATUS AccessSettingEx(io::DeviceObject* pDeviceObject, std::uint32_t ulOperation,
                                 void* pBuffer, std::uint32_t ulLength,
                                 const char16_t* pszValueName, const char16_t* pszSubkey,
                                 io::RegistryValueType ulType, std::uint32_t* pulDataLength) {
    if (!kernel::requireIrql(kernel::Irql::Passive, "settings access") || !IsSettingType(ulType))
        return kernel::STATUS_UNSUCCESSFUL;
    if (pDeviceObject == nullptr || pszValueName == nullptr ||
        (ulOperation != SETTING_READ && ulOperation != SETTING_WRITE) ||
        (pBuffer == nullptr && ulLength != 0))
        return kernel::STATUS_INVALID_PARAMETER;
    io::RegistryKey key;
    const kernel::NTSTATUS status = OpenSettingsKey(pDeviceObject, pszSubkey, key);
    if (!kernel::succeeded(status)) return status;
    const kernel::UnicodeString name = kernel::makeUnicodeString(pszValueName);
    if (ulOperation == SETTING_READ)
        return ReadSetting(key, name, pBuffer, ulLength, pulDataLength);
    return io::setValue(key, name, ulType, pBuffer, ulLength);
}

kernel::NTSTATUS AccessSetting(io::DeviceObject* pDeviceObject, std::uint32_t ulOperation,
                               void* pBuffer, std::uint32_t ulLength,
                               const char16_t* pszValueName) {
    return AccessSettingEx(pDeviceObject, ulOperation, pBuffer, ulLength, pszValueName, nullptr,
                           io::REG_BINARY);
}

kernel::NTSTATUS AccessIndexedSetting(io::DeviceObject* pDeviceObject, std::uint32_t ulOperation,
                                      void* pBuffer, std::uint32_t ulLength,
                                      const char16_t* pszPrefix, int nIndex) {
    if (pszPrefix == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    char16_t szName[MAX_INDEXED_SETTING_NAME + 1];
    if (kernel::formatString(szName, MAX_INDEXED_SETTING_NAME + 1, u"%s%d", pszPrefix, nIndex) !=
        kernel::STATUS_SUCCESS)
        return kernel::STATUS_INVALID_PARAMETER;
    return AccessSetting(pDeviceObject, ulOperation, pBuffer, ulLength, szName);
}
