// Loading the driver and adding a device: the port layer makes the
// functional device; the driver's part of its extension keeps the stack and
// the private interfaces registered on the physical device.
#include "driver/adapter/driver_entry.h"

#include "driver/adapter/driver_extension.h"
#include "driver/common/interface_ids.h"
#include "driver/common/sigproc_pool_hooks.h"
#include "platform/io/device_interface.h"
#include "platform/kernel/os_version.h"
#include "platform/portcls/adapter.h"

#include <cstring>
#include <new>
#include <optional>

namespace {

// The signal primitives allocate from the pool from the driver's entry to
// its unload; the hooks in force before come back at unload. The system
// loads the driver once, so one set is held at a time.
std::optional<CSigprocPoolHooks> g_SigprocPoolHooks;

kernel::NTSTATUS RegisterPrivateInterface(io::DeviceObject* physicalDevice,
                                          const kernel::Guid& interfaceClass,
                                          const char16_t* reference, PrivateInterfaceState* state) {
    const kernel::UnicodeString referenceString = kernel::makeUnicodeString(reference);
    const kernel::NTSTATUS status = io::registerDeviceInterface(
        physicalDevice, interfaceClass, &referenceString, &state->symbolicLink);
    if (kernel::succeeded(status)) state->registered = true;
    return status;
}

} // namespace

DriverExtension* DriverExtensionOf(io::DeviceObject* device) {
    if (device == nullptr || device->extension() == nullptr ||
        device->extensionSize() < DriverDeviceExtensionSize)
        return nullptr;
    return reinterpret_cast<DriverExtension*>(static_cast<std::uint8_t*>(device->extension()) +
                                              portcls::portClassExtensionSize);
}

kernel::NTSTATUS DriverEntry(io::DriverObject* driverObject,
                             const kernel::UnicodeString* registryPath) {
    if (!kernel::isVersionAvailable(OldestSystemVersion)) return kernel::STATUS_UNSUCCESSFUL;
    g_SigprocPoolHooks.emplace();
    const kernel::NTSTATUS status =
        portcls::PcInitializeAdapterDriver(driverObject, registryPath, AddDevice);
    if (!kernel::succeeded(status)) {
        // A driver whose entry failed is not loaded and never unloaded.
        g_SigprocPoolHooks.reset();
        return status;
    }
    driverObject->unload = DriverUnload;
    driverObject->majorFunction[io::major::Pnp] = DispatchPnp;
    driverObject->majorFunction[io::major::Create] = DispatchCreate;
    driverObject->majorFunction[io::major::Close] = DispatchClose;
    driverObject->majorFunction[io::major::DeviceControl] = DispatchDeviceControl;
    return status;
}

void DriverUnload(io::DriverObject*) { g_SigprocPoolHooks.reset(); }

// A device whose ASIO interface cannot be registered is not added: the
// system sends a device it failed to add no removal, so nothing may be left
// attached. The interfaces are registered on the physical device first, so
// the refusal comes before the port layer makes the functional device (the
// link strings go back; a registration itself stays with the physical device).
kernel::NTSTATUS AddDevice(io::DriverObject* driverObject, io::DeviceObject* physicalDevice) {
    if (physicalDevice == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    PrivateInterfaceState enumInterface{};
    PrivateInterfaceState asioInterface{};
    const auto freeLinks = [&] {
        for (PrivateInterfaceState* state : {&enumInterface, &asioInterface})
            if (state->registered) kernel::freeUnicodeString(state->symbolicLink);
    };
    // The enumeration interface's registration is not reported: without it
    // the start's enable fails, which is where the device gives up.
    RegisterPrivateInterface(physicalDevice, GUID_ENUMERATION_PRIVATE_INTERFACE,
                             EnumInterfaceReference, &enumInterface);
    kernel::NTSTATUS status = RegisterPrivateInterface(physicalDevice, GUID_ASIO_PRIVATE_INTERFACE,
                                                       AsioInterfaceReference, &asioInterface);
    if (!kernel::succeeded(status)) {
        freeLinks();
        return status;
    }
    io::DeviceObject* lowerDevice = io::getAttachedDeviceReference(physicalDevice);
    status = portcls::PcAddAdapterDevice(driverObject, physicalDevice, StartDevice, MaxSubdevices,
                                         DriverDeviceExtensionSize);
    if (!kernel::succeeded(status)) {
        // No device keeps the reference then.
        io::dereferenceDevice(lowerDevice);
        freeLinks();
        return status;
    }
    io::DeviceObject* functionalDevice = lowerDevice->attachedDevice();
    DriverExtension* extension = DriverExtensionOf(functionalDevice);
    std::memset(static_cast<void*>(extension), 0, sizeof(DriverExtension));
    extension->pFunctionalDevice = functionalDevice;
    extension->pLowerDevice = lowerDevice;
    extension->pPhysicalDevice = physicalDevice;
    new (&extension->mutex) kernel::Mutex();
    extension->enumInterface = enumInterface;
    extension->asioInterface = asioInterface;
    return status;
}
