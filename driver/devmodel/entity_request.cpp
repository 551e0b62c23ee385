#include "driver/devmodel/entity_request.h"

#include "driver/engine/queried_interface.h"
#include "driver/engine/usb_device.h"
#include "platform/usb/audio_requests.h"

kernel::NTSTATUS SendEntityRequest(kernel::IUnknown* device, const EntityRequest& request,
                                   std::uint32_t* transferred) {
    if (transferred != nullptr) *transferred = 0;
    CQueriedInterface<IUsbDevice> usb(device, IID_IUsbDevice);
    if (!usb) return kernel::STATUS_UNSUCCESSFUL;
    usb::ClassOrVendorRequest record{};
    record.header.length = sizeof(record);
    record.header.function =
        request.vendor ? usb::Function::vendorInterface : usb::Function::classInterface;
    record.transfer.transferFlags = request.in ? usb::transfer_flags::directionIn : 0;
    record.transfer.transferBufferLength = request.length;
    record.transfer.transferBuffer = request.buffer;
    record.request = request.request;
    record.value = request.value;
    record.index = usb::entityIndex(request.entityId, usb->GetControlInterfaceNumber());
    const kernel::NTSTATUS status = usb->SubmitUrb(&record.header);
    if (kernel::succeeded(status) && transferred != nullptr)
        *transferred = record.transfer.transferBufferLength;
    return status;
}

kernel::NTSTATUS ReadEntityExactly(kernel::IUnknown* device, EntityRequest request) {
    request.in = true;
    std::uint32_t transferred = 0;
    const kernel::NTSTATUS status = SendEntityRequest(device, request, &transferred);
    if (!kernel::succeeded(status)) return status;
    return transferred == request.length ? kernel::STATUS_SUCCESS : kernel::STATUS_UNSUCCESSFUL;
}
