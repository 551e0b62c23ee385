// I/O control codes: the 32-bit code a device control request carries. Its
// fields are fixed by the system, because user-mode clients build the same
// codes: the device type in the high word, the access the caller needs in
// bits 14-15, the function number in bits 2-13 and, in the two low bits, how
// the request's buffers travel.
#pragma once

#include <cstdint>

namespace io {

enum class TransferMethod : std::uint32_t {
    Buffered = 0, // both buffers travel through one system buffer
    InDirect = 1,
    OutDirect = 2,
    Neither = 3, // the caller's own addresses
};

namespace controlAccess {
inline constexpr std::uint32_t any = 0;
inline constexpr std::uint32_t read = 1;
inline constexpr std::uint32_t write = 2;
} // namespace controlAccess

constexpr std::uint32_t controlCode(std::uint32_t deviceType, std::uint32_t function,
                                    TransferMethod method, std::uint32_t access) {
    return (deviceType << 16) | (access << 14) | (function << 2) |
           static_cast<std::uint32_t>(method);
}

constexpr std::uint32_t controlDeviceType(std::uint32_t code) { return code >> 16; }
constexpr std::uint32_t controlCodeAccess(std::uint32_t code) { return (code >> 14) & 3; }
constexpr std::uint32_t controlFunction(std::uint32_t code) { return (code >> 2) & 0xFFF; }
constexpr TransferMethod controlMethod(std::uint32_t code) {
    return static_cast<TransferMethod>(code & 3);
}

// Codes as clients and bus drivers spell them.
static_assert(controlCode(0x1D, 0x800, TransferMethod::Buffered, controlAccess::read) == 0x1D6000);
static_assert(controlCode(0x1D, 0x802, TransferMethod::Buffered,
                          controlAccess::read | controlAccess::write) == 0x1DE008);
static_assert(controlCode(0x1D, 0x805, TransferMethod::Buffered, controlAccess::write) == 0x1DA014);
static_assert(controlCode(0x22, 0, TransferMethod::Neither, controlAccess::any) == 0x220003);
static_assert(controlDeviceType(0x1DE008) == 0x1D && controlFunction(0x1DE008) == 0x802 &&
              controlCodeAccess(0x1DE008) == 3 &&
              controlMethod(0x1DE008) == TransferMethod::Buffered);

} // namespace io
