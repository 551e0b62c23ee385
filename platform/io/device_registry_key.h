// The registry keys of a device: its driver's software key, where the driver
// keeps its settings (the driver key name under classKeyPath), and its
// hardware key, the "Device Parameters" key under the device's key in the
// enumeration tree (first hardware id, then instance name, under
// enumKeyPath). Both come from the identity of the physical device under the
// device and are made on first open.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/registry.h"

namespace io {

inline constexpr char16_t enumKeyPath[] = u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Enum";
inline constexpr char16_t classKeyPath[] =
    u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Class";

enum class DeviceRegistryKey { Driver, Hardware };

// STATUS_INVALID_DEVICE_REQUEST when the device's stack has no identity.
kernel::NTSTATUS openDeviceRegistryKey(DeviceObject* device, DeviceRegistryKey which,
                                       RegistryKey& key);

} // namespace io
