// The plug-and-play requests the driver sees before the port layer: the
// device wakes for each (but the start), and the removals take the
// endpoints' wave subdevices and the private interfaces down.
#include "driver/adapter/driver_entry.h"

#include "driver/adapter/driver_extension.h"
#include "platform/io/device_interface.h"
#include "platform/io/pnp.h"
#include "platform/kernel/debug_print.h"
#include "platform/portcls/adapter.h"

namespace {

enum class UninstallReport { print, silent };

// Stops the adapter and uninstalls the endpoints in order; the first
// failure ends the walk and leaves the rest installed.
void StopAndUninstall(io::DeviceObject* device, io::Irp* irp, IAudioHal& hal,
                      UninstallReport report) {
    hal.Stop();
    const std::uint32_t endpoints = hal.GetEndpointCount();
    for (std::uint32_t index = 0; index < endpoints; ++index) {
        IStreamEngine* engine = nullptr;
        kernel::NTSTATUS status = hal.GetEndpoint(index, &engine);
        if (kernel::succeeded(status)) status = engine->Uninstall(device, irp, &hal);
        if (kernel::succeeded(status)) continue;
        if (report == UninstallReport::print)
            kernel::debugPrint("Remove Miniport Failed StreamEngine ulIdx = %d\n", index);
        return;
    }
}

void DisableInterface(PrivateInterfaceState& state) {
    if (!state.enabled) return;
    io::setDeviceInterfaceState(state.symbolicLink, false);
    state.enabled = false;
}

void DisableAndFreeInterface(PrivateInterfaceState& state) {
    DisableInterface(state);
    if (!state.registered) return;
    kernel::freeUnicodeString(state.symbolicLink);
    state.registered = false;
}

// Lets go of what the start kept; the port layer's own references keep the
// topology subdevice until it is unregistered.
void ReleaseStarted(DriverExtension& extension) {
    if (extension.pTopologyPort != nullptr) extension.pTopologyPort->Release();
    if (extension.pHal != nullptr) extension.pHal->Release();
    extension.pTopologyPort = nullptr;
    extension.pHal = nullptr;
}

kernel::NTSTATUS RemoveDevice(io::DeviceObject* device, io::Irp* irp, DriverExtension& extension) {
    DisableAndFreeInterface(extension.asioInterface);
    DisableAndFreeInterface(extension.enumInterface);
    if (extension.pHal != nullptr)
        StopAndUninstall(device, irp, *extension.pHal, UninstallReport::print);
    // The device's memory lasts until the request is back, so the extension
    // may be read after the port layer's removal.
    const kernel::NTSTATUS status = portcls::PcDispatchIrp(device, irp);
    if (!kernel::succeeded(status)) return status;
    io::dereferenceDevice(extension.pLowerDevice);
    extension.pLowerDevice = nullptr;
    ReleaseStarted(extension);
    return status;
}

// The port layer keeps the subdevices across a stop; they go here, so that
// the next start registers them again under their new names.
kernel::NTSTATUS StopDevice(io::DeviceObject* device, io::Irp* irp, DriverExtension& extension) {
    if (extension.pHal != nullptr) {
        StopAndUninstall(device, irp, *extension.pHal, UninstallReport::silent);
        UninstallSubdevice(device, extension.pTopologyPort);
        DisableInterface(extension.asioInterface);
        DisableInterface(extension.enumInterface);
        ReleaseStarted(extension);
    }
    return portcls::PcDispatchIrp(device, irp);
}

kernel::NTSTATUS SurpriseRemoveDevice(io::DeviceObject* device, io::Irp* irp,
                                      DriverExtension& extension) {
    if (extension.pHal != nullptr)
        StopAndUninstall(device, irp, *extension.pHal, UninstallReport::silent);
    const kernel::NTSTATUS status = portcls::PcDispatchIrp(device, irp);
    DisableInterface(extension.asioInterface);
    DisableInterface(extension.enumInterface);
    return status;
}

} // namespace

kernel::NTSTATUS DispatchPnp(io::DeviceObject* deviceObject, io::Irp* irp) {
    DriverExtension* extension = DriverExtensionOf(deviceObject);
    if (extension == nullptr) return portcls::PcDispatchIrp(deviceObject, irp);
    const std::uint8_t minor = io::currentStackLocation(irp)->minorFunction;
    if (minor != io::minorPnp::StartDevice && extension->pHal != nullptr)
        extension->pHal->WakeDevice();
    switch (minor) {
    case io::minorPnp::RemoveDevice:
        return RemoveDevice(deviceObject, irp, *extension);
    case io::minorPnp::StopDevice:
        return StopDevice(deviceObject, irp, *extension);
    case io::minorPnp::SurpriseRemoval:
        return SurpriseRemoveDevice(deviceObject, irp, *extension);
    default:
        return portcls::PcDispatchIrp(deviceObject, irp);
    }
}
