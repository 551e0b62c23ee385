// Registry keys of an adapter device as the port layer hands them out: the
// driver's software key or the device's hardware key, subkeys under them,
// and value access. Passive level.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/registry_types.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"
#include "platform/kernel/unknown.h"

#include <cstdint>

namespace portcls {

inline constexpr kernel::Guid IID_IRegistryKey =
    kernel::makeGuid("{B4D65EDC-B1F8-42D5-A7E7-C23C26AFB5FE}");

enum class RegistryKeyType {
    DriverRegistryKey, // the driver's software key
    DeviceRegistryKey, // the device's hardware key
};

class IRegistryKey : public kernel::IUnknown {
public:
    // The value as a partial-information record, with the statuses of
    // io::queryValuePartialInformation.
    virtual kernel::NTSTATUS QueryValueKey(const kernel::UnicodeString* valueName, void* buffer,
                                           std::uint32_t length, std::uint32_t* resultLength) = 0;
    virtual kernel::NTSTATUS SetValueKey(const kernel::UnicodeString* valueName,
                                         io::RegistryValueType type, const void* data,
                                         std::uint32_t length) = 0;
    // Opens the subkey, creating it when it is missing; created (may be null)
    // says which.
    virtual kernel::NTSTATUS NewSubKey(IRegistryKey** subKey, const kernel::UnicodeString* name,
                                       bool* created) = 0;

protected:
    ~IRegistryKey() = default;
};

// Opens a key of the device's stack. STATUS_INVALID_PARAMETER for a null
// out pointer or device, or an outer unknown (keys are not aggregated);
// otherwise the status of opening the key.
kernel::NTSTATUS PcNewRegistryKey(IRegistryKey** key, kernel::IUnknown* outerUnknown,
                                  RegistryKeyType type, io::DeviceObject* deviceObject);

} // namespace portcls
