// Plug-and-play requests: the minor functions of major::Pnp that the
// system sends a device stack, and the records their stack locations carry.
#pragma once

#include "platform/kernel/guid.h"

#include <cstddef>
#include <cstdint>

namespace io {

namespace minorPnp {
inline constexpr std::uint8_t StartDevice = 0x00;
inline constexpr std::uint8_t QueryRemoveDevice = 0x01;
inline constexpr std::uint8_t RemoveDevice = 0x02;
inline constexpr std::uint8_t CancelRemoveDevice = 0x03;
inline constexpr std::uint8_t StopDevice = 0x04;
inline constexpr std::uint8_t QueryStopDevice = 0x05;
inline constexpr std::uint8_t CancelStopDevice = 0x06;
inline constexpr std::uint8_t QueryInterface = 0x08;
inline constexpr std::uint8_t QueryCapabilities = 0x09;
inline constexpr std::uint8_t SurpriseRemoval = 0x17;
} // namespace minorPnp

// The hardware resources a start request hands the device (memory, ports,
// interrupts); a USB function has none, so the list may be empty.
struct ResourceDescriptor {
    std::uint8_t type;
    std::uint8_t shareDisposition;
    std::uint16_t flags;
    std::uint64_t start;
    std::uint32_t length;
};

struct ResourceList {
    std::uint32_t count;
    const ResourceDescriptor* descriptors;
};

// The head of every interface a driver hands out through a query-interface
// request: the caller's buffer of `size` bytes is filled, and the
// reference routine already counted the caller's reference.
struct InterfaceHeader {
    std::uint16_t size;
    std::uint16_t version;
    void* context;
    void (*interfaceReference)(void* context);
    void (*interfaceDereference)(void* context);
};

} // namespace io
