// The control requests of the stream engines, sent through IUsbDevice and
// waited for: class and vendor requests to the streaming interface or its
// endpoint, and the pipe requests (abort, reset).
#pragma once

#include "driver/engine/usb_device.h"
#include "platform/usb/requests.h"

#include <cstdint>

struct StreamControlRequest {
    usb::Function function; // class or vendor, to the interface or the endpoint
    bool in;                // from the device
    std::uint8_t request;
    std::uint16_t value;
    std::uint16_t index;
    void* buffer;
    std::uint32_t length;
};

// The request's status; transferred, when given, gets the bytes moved.
kernel::NTSTATUS SendStreamControl(IUsbDevice& usb, const StreamControlRequest& request,
                                   std::uint32_t* transferred = nullptr);

// Abort, or reset and clear the halt of, a pipe.
kernel::NTSTATUS SendPipeRequest(IUsbDevice& usb, usb::Function function, usb::PipeHandle pipe);
