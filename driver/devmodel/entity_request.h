// The control requests every entity sends: a class or vendor request to the
// AudioControl interface, addressed to the entity (wIndex = entity id << 8 |
// interface number), sent and waited for through the device's IUsbDevice.
#pragma once

#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

#include <cstdint>

struct EntityRequest {
    bool vendor;           // a vendor request, else a class request
    bool in;               // from the device (GET), else to it (SET)
    std::uint8_t request;  // bRequest
    std::uint16_t value;   // wValue
    std::uint8_t entityId; // the high byte of wIndex
    void* buffer;
    std::uint32_t length; // wLength
};

// The request's status; transferred, when given, gets the bytes the device
// actually moved, which may be fewer than asked for.
kernel::NTSTATUS SendEntityRequest(kernel::IUnknown* device, const EntityRequest& request,
                                   std::uint32_t* transferred = nullptr);

// An IN request that must return all its bytes: a short answer is
// STATUS_UNSUCCESSFUL.
kernel::NTSTATUS ReadEntityExactly(kernel::IUnknown* device, EntityRequest request);
