#include "driver/usbstream/stream_requests.h"

kernel::NTSTATUS SendStreamControl(IUsbDevice& usb, const StreamControlRequest& request,
                                   std::uint32_t* transferred) {
    if (transferred != nullptr) *transferred = 0;
    usb::ClassOrVendorRequest record{};
    record.header.length = sizeof(record);
    record.header.function = request.function;
    record.transfer.transferFlags = request.in ? usb::transfer_flags::directionIn : 0;
    record.transfer.transferBufferLength = request.length;
    record.transfer.transferBuffer = request.buffer;
    record.request = request.request;
    record.value = request.value;
    record.index = request.index;
    const kernel::NTSTATUS status = usb.SubmitUrb(&record.header);
    if (kernel::succeeded(status) && transferred != nullptr)
        *transferred = record.transfer.transferBufferLength;
    return status;
}

kernel::NTSTATUS SendPipeRequest(IUsbDevice& usb, usb::Function function, usb::PipeHandle pipe) {
    usb::PipeRequest record{};
    record.header.length = sizeof(record);
    record.header.function = function;
    record.pipeHandle = pipe;
    return usb.SubmitUrb(&record.header);
}
