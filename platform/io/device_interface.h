// Device interfaces. A driver registers an interface of a class (a GUID) on
// its physical device, with a reference string when the device has several
// interfaces to tell apart, and gets the interface's symbolic link. Once the
// driver enables it, the interface is listed under its class and a user-mode
// client opens it by its link (user_process.h): the create goes to the top
// of the device's stack with the file name "\" followed by the reference
// string. A registration lasts until the bus deletes the physical device.
// All of it runs at passive level.
#pragma once

#include "platform/io/device_object.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

#include <string>
#include <string_view>
#include <vector>

namespace io {

// Registers the interface (disabled) and gives its symbolic link in a pool
// buffer (kernel::freeUnicodeString); registering it again gives the same
// link. referenceString may be null or empty for none.
// - STATUS_INVALID_DEVICE_REQUEST: not a physical device with an identity;
// - STATUS_INVALID_PARAMETER: a reference string holding '\' or a zero
//   character, or a link too long for a counted string;
// - STATUS_INSUFFICIENT_RESOURCES: the pool refused the link.
kernel::NTSTATUS registerDeviceInterface(DeviceObject* physicalDevice,
                                         const kernel::Guid& interfaceClass,
                                         const kernel::UnicodeString* referenceString,
                                         kernel::UnicodeString* symbolicLink);

// Enables or disables the interface of that link (compared without regard to
// case); doing it twice is harmless. STATUS_OBJECT_NAME_NOT_FOUND for a link
// that names no registered interface.
kernel::NTSTATUS setDeviceInterfaceState(const kernel::UnicodeString& symbolicLink, bool enable);

// The links of the enabled interfaces of the class, in order of registration.
std::vector<std::u16string> enabledDeviceInterfaces(const kernel::Guid& interfaceClass);

// A registration as the system records it.
struct DeviceInterfaceEntry {
    kernel::Guid interfaceClass;
    std::u16string referenceString; // empty for none
    std::u16string symbolicLink;
    bool enabled;

    friend bool operator==(const DeviceInterfaceEntry&, const DeviceInterfaceEntry&) = default;
};

// Interfaces enabled now, of every class and device.
std::size_t enabledDeviceInterfaceCount();

// Every interface registered on the physical device, enabled or not, in order
// of registration.
std::vector<DeviceInterfaceEntry> registeredDeviceInterfaces(DeviceObject* physicalDevice);

// For the user-mode side: the physical device of the enabled interface with
// that link (with a reference for the caller) and its reference string; false
// when no enabled interface has the link.
bool findEnabledDeviceInterface(std::u16string_view symbolicLink, DeviceObject** physicalDevice,
                                std::u16string* referenceString);

// For deleteDevice: the registrations of a physical device go with it.
void dropDeviceInterfaces(DeviceObject* physicalDevice);

} // namespace io
