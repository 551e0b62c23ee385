// The interface the bus hands a function driver that asks for it with a
// plug-and-play query-interface request: the bus's current frame number and
// whether the device runs at high speed. The header's version is the
// interface's version; the bus serves version 1 only.
//
// The record stays on the host (no device or other module reads its bytes),
// so its routines are plain pointer-sized members and its 64-bit layout is
// not pinned to the size the 32-bit system gave it.
#pragma once

#include "platform/io/pnp.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"

#include <cstdint>

namespace usb {

inline constexpr kernel::Guid busInterfaceId =
    kernel::makeGuid("{8C81EDF6-15C2-4E6C-9738-C4C0C114D944}");
inline constexpr std::uint16_t busInterfaceVersion = 1;

struct BusInterface {
    io::InterfaceHeader header; // context: the bus's own; released with interfaceDereference
    // The bus's frame number (1 ms frames, counting up and wrapping at 32 bits).
    // STATUS_INVALID_PARAMETER without a place to write it.
    kernel::NTSTATUS (*queryBusTime)(void* context, std::uint32_t* currentFrame);
    bool (*isDeviceHighSpeed)(void* context);
};

} // namespace usb
