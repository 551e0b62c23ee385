// Create, close and device control: a request on the ASIO interface's file
// goes to the adapter's IAsioPrivate, every other one to the port layer.
// While the adapter answers no IAsioPrivate the file's requests end here
// with the missing interface's statuses.
#include "driver/adapter/driver_entry.h"

#include "driver/adapter/driver_extension.h"
#include "platform/io/file_object.h"
#include "platform/portcls/adapter.h"

namespace {

// The adapter when the request is on the ASIO interface's file (the device
// has woken then); null for a request the port layer serves.
IAudioHal* AsioFileTarget(io::DeviceObject* device, io::Irp* irp) {
    DriverExtension* extension = DriverExtensionOf(device);
    if (extension == nullptr || extension->pHal == nullptr) return nullptr;
    const io::FileObject* file = io::currentStackLocation(irp)->fileObject;
    if (file == nullptr) return nullptr;
    extension->pHal->WakeDevice();
    if (!kernel::equalTextIgnoringCase(file->fileName().view(), AsioInterfaceFileName))
        return nullptr;
    return extension->pHal;
}

kernel::NTSTATUS CompleteWith(io::Irp* irp, kernel::NTSTATUS status) {
    irp->ioStatus.status = status;
    irp->ioStatus.information = 0;
    io::completeRequest(irp);
    return status;
}

// Open and close: the request carries the status of the call, or
// STATUS_UNSUCCESSFUL when the interface is missing or the call failed.
kernel::NTSTATUS OpenOrClose(io::DeviceObject* device, io::Irp* irp) {
    IAudioHal* hal = AsioFileTarget(device, irp);
    if (hal == nullptr) return portcls::PcDispatchIrp(device, irp);
    // The adapter answers no IAsioPrivate yet: the missing interface's path.
    return CompleteWith(irp, kernel::STATUS_UNSUCCESSFUL);
}

} // namespace

kernel::NTSTATUS DispatchCreate(io::DeviceObject* deviceObject, io::Irp* irp) {
    return OpenOrClose(deviceObject, irp);
}

kernel::NTSTATUS DispatchClose(io::DeviceObject* deviceObject, io::Irp* irp) {
    return OpenOrClose(deviceObject, irp);
}

kernel::NTSTATUS DispatchDeviceControl(io::DeviceObject* deviceObject, io::Irp* irp) {
    IAudioHal* hal = AsioFileTarget(deviceObject, irp);
    if (hal == nullptr) return portcls::PcDispatchIrp(deviceObject, irp);
    // Without the interface no control code has an operation to select.
    return CompleteWith(irp, kernel::STATUS_INVALID_PARAMETER);
}
