// Create, close and device control: a request on the ASIO interface's file
// goes to the adapter's IAsioPrivate, every other one to the port layer.
// When the adapter answers no IAsioPrivate the file's requests end here with
// the missing interface's statuses.
#include "driver/adapter/driver_entry.h"

#include "driver/adapter/asio_private.h"
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

// The adapter's ASIO interface with a reference, or null. Only the adapter
// answers IAsioPrivate, so the face is its CAsioPrivate, which also serves
// the device controls by code.
CAsioPrivate* AsioPrivateOf(IAudioHal* hal) {
    IAsioPrivate* asio = nullptr;
    if (!kernel::succeeded(hal->QueryInterface(IID_IAsioPrivate, reinterpret_cast<void**>(&asio))))
        return nullptr;
    return static_cast<CAsioPrivate*>(asio);
}

kernel::NTSTATUS CompleteWith(io::Irp* irp, kernel::NTSTATUS status) {
    irp->ioStatus.status = status;
    irp->ioStatus.information = 0;
    io::completeRequest(irp);
    return status;
}

// Open and close: the request carries the status of the call, or
// STATUS_UNSUCCESSFUL when the interface is missing.
kernel::NTSTATUS OpenOrClose(io::DeviceObject* device, io::Irp* irp) {
    IAudioHal* hal = AsioFileTarget(device, irp);
    if (hal == nullptr) return portcls::PcDispatchIrp(device, irp);
    CAsioPrivate* asio = AsioPrivateOf(hal);
    if (asio == nullptr) return CompleteWith(irp, kernel::STATUS_UNSUCCESSFUL);
    const io::IoStackLocation* location = io::currentStackLocation(irp);
    const kernel::NTSTATUS status = location->majorFunction == io::major::Create
                                        ? asio->Open(location->fileObject)
                                        : asio->Close(location->fileObject);
    asio->Release();
    return CompleteWith(irp, status);
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
    CAsioPrivate* asio = AsioPrivateOf(hal);
    // Without the interface no control code has an operation to select.
    if (asio == nullptr) return CompleteWith(irp, kernel::STATUS_INVALID_PARAMETER);
    const io::IoStackLocation* location = io::currentStackLocation(irp);
    const auto& control = location->parameters.deviceIoControl;
    std::uint32_t bytes = 0;
    const kernel::NTSTATUS status =
        asio->DeviceControl(location->fileObject, irp, control.ioControlCode, irp->systemBuffer,
                            control.inputBufferLength, control.outputBufferLength, &bytes);
    asio->Release();
    // A parked request is completed later, by its stop or its cancellation.
    if (status == kernel::STATUS_PENDING) return status;
    irp->ioStatus.status = status;
    irp->ioStatus.information = bytes;
    io::completeRequest(irp);
    return status;
}
