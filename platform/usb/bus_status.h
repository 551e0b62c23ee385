// What the bus reports about a request beside the I/O status: the status
// word of the request header and of each isochronous packet, the internal
// I/O control codes a driver sends the bus, and the port status bits.
#pragma once

#include <cstdint>

namespace usb {

// The two top bits give the state: 00 success, 01 pending, 11 error (10 is
// an error the bus found in the request itself).
enum class BusStatus : std::uint32_t {
    success = 0x00000000,
    pending = 0x40000000,
    stall = 0xC0000004,
    deviceNotResponding = 0xC0000005,
    dataOverrun = 0xC0000008,
    dataUnderrun = 0xC0000009,
    bufferOverrun = 0xC000000C,
    bufferUnderrun = 0xC000000D,
    endpointHalted = 0xC0000030,
    badStartFrame = 0xC0000A00,
    isochronousRequestFailed = 0xC0000B00,
    notSupported = 0xC0000E00,
    deviceGone = 0xC0007000,
    cancelled = 0xC0010000,
    isoNotAccessedByHardware = 0xC0020000, // the packet's frame passed without it
    invalidFunction = 0x80000200,
    invalidParameter = 0x80000300,
};

constexpr bool succeeded(BusStatus status) {
    return (static_cast<std::uint32_t>(status) & 0x80000000u) == 0;
}
constexpr bool isPending(BusStatus status) {
    return (static_cast<std::uint32_t>(status) >> 30) == 1;
}

// Internal device I/O control codes of the bus (device type 0x22, no
// buffering): the argument of submitRequest is a request record.
namespace internal_ioctl {
inline constexpr std::uint32_t submitRequest = 0x220003;
inline constexpr std::uint32_t resetPort = 0x220007;
inline constexpr std::uint32_t getPortStatus = 0x220013;
inline constexpr std::uint32_t cyclePort = 0x22001F;
inline constexpr std::uint32_t submitIdleNotification = 0x220027;
} // namespace internal_ioctl

// The 32-bit word getPortStatus writes.
namespace port_status {
inline constexpr std::uint32_t enabled = 0x1;
inline constexpr std::uint32_t connected = 0x2;
} // namespace port_status

// The input of submitIdleNotification (the location's type3InputBuffer and
// inputBufferLength): the bus calls it, at passive level, when it is about
// to suspend the device's port. The bus keeps a copy while the request
// waits.
struct IdleCallbackInfo {
    void (*callback)(void* context);
    void* context;
};
static_assert(sizeof(IdleCallbackInfo) == 2 * sizeof(void*));

} // namespace usb
