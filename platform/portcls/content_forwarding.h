// Protected content: a stream that is told the content id of what it plays
// forwards it to the device object that carries the data, so the system
// knows every device the content passes. The port layer keeps what was
// forwarded, in order, for the system's side to read.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/file_object.h"
#include "platform/kernel/status.h"

#include <cstdint>
#include <vector>

namespace portcls {

// Where the content goes: flags (none defined: 0), the device, and the file
// object and context the device knows the stream by (either may be null).
struct DrmForward {
    std::uint32_t Flags;
    io::DeviceObject* DeviceObject;
    io::FileObject* FileObject;
    void* Context;
};

// STATUS_INVALID_PARAMETER without a record or a device, or with flags set.
kernel::NTSTATUS PcForwardContentToDeviceObject(std::uint32_t contentId, void* reserved,
                                                const DrmForward* forward);

struct ForwardedContent {
    std::uint32_t contentId;
    const io::DeviceObject* device; // an identity only; never read through
    const void* fileObject;
    const void* context;
    friend bool operator==(const ForwardedContent&, const ForwardedContent&) = default;
};

// Everything forwarded since the program (or the test) began.
std::vector<ForwardedContent> forwardedContents();

} // namespace portcls
