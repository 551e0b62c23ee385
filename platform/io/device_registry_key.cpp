#include "platform/io/device_registry_key.h"

#include "platform/io/registry_tree.h"

namespace io {

kernel::NTSTATUS openDeviceRegistryKey(DeviceObject* device, DeviceRegistryKey which,
                                       RegistryKey& key) {
    key.close();
    DeviceIdentity identity;
    if (!physicalDeviceIdentity(device, identity)) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    const std::u16string path = which == DeviceRegistryKey::Driver
                                    ? std::u16string(classKeyPath) + u'\\' + identity.driverKeyName
                                    : std::u16string(enumKeyPath) + u'\\' +
                                          identity.hardwareIds.front() + u'\\' +
                                          identity.instanceName + u"\\Device Parameters";
    return detail::createKeyPath(key, path);
}

} // namespace io
