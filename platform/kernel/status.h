// Status codes: a signed 32-bit value whose two top bits give the severity
// (00 success, 01 informational, 10 warning, 11 error). Every kernel service
// and every driver operation returns one.
#pragma once

#include <cstdint>

namespace kernel {

using NTSTATUS = std::int32_t;

constexpr NTSTATUS statusFromBits(std::uint32_t bits) { return static_cast<NTSTATUS>(bits); }

inline constexpr NTSTATUS STATUS_SUCCESS = 0;
inline constexpr NTSTATUS STATUS_WAIT_0 = 0;
inline constexpr NTSTATUS STATUS_TIMEOUT = 0x102;
inline constexpr NTSTATUS STATUS_PENDING = 0x103;
inline constexpr NTSTATUS STATUS_BUFFER_OVERFLOW = statusFromBits(0x80000005);
inline constexpr NTSTATUS STATUS_DEVICE_BUSY = statusFromBits(0x80000011);
inline constexpr NTSTATUS STATUS_UNSUCCESSFUL = statusFromBits(0xC0000001);
inline constexpr NTSTATUS STATUS_NOT_IMPLEMENTED = statusFromBits(0xC0000002);
inline constexpr NTSTATUS STATUS_INVALID_HANDLE = statusFromBits(0xC0000008);
inline constexpr NTSTATUS STATUS_INVALID_PARAMETER = statusFromBits(0xC000000D);
inline constexpr NTSTATUS STATUS_NO_SUCH_DEVICE = statusFromBits(0xC000000E);
inline constexpr NTSTATUS STATUS_INVALID_DEVICE_REQUEST = statusFromBits(0xC0000010);
inline constexpr NTSTATUS STATUS_END_OF_FILE = statusFromBits(0xC0000011);
inline constexpr NTSTATUS STATUS_MORE_PROCESSING_REQUIRED = statusFromBits(0xC0000016);
inline constexpr NTSTATUS STATUS_ACCESS_DENIED = statusFromBits(0xC0000022);
inline constexpr NTSTATUS STATUS_BUFFER_TOO_SMALL = statusFromBits(0xC0000023);
inline constexpr NTSTATUS STATUS_OBJECT_TYPE_MISMATCH = statusFromBits(0xC0000024);
inline constexpr NTSTATUS STATUS_OBJECT_NAME_INVALID = statusFromBits(0xC0000033);
inline constexpr NTSTATUS STATUS_OBJECT_NAME_NOT_FOUND = statusFromBits(0xC0000034);
inline constexpr NTSTATUS STATUS_OBJECT_PATH_NOT_FOUND = statusFromBits(0xC000003A);
inline constexpr NTSTATUS STATUS_INSUFFICIENT_RESOURCES = statusFromBits(0xC000009A);
inline constexpr NTSTATUS STATUS_DEVICE_NOT_CONNECTED = statusFromBits(0xC000009D);
inline constexpr NTSTATUS STATUS_FILE_IS_A_DIRECTORY = statusFromBits(0xC00000BA);
inline constexpr NTSTATUS STATUS_NOT_SUPPORTED = statusFromBits(0xC00000BB);
inline constexpr NTSTATUS STATUS_FILE_CORRUPT_ERROR = statusFromBits(0xC0000102);
inline constexpr NTSTATUS STATUS_CANCELLED = statusFromBits(0xC0000120);
inline constexpr NTSTATUS STATUS_REGISTRY_IO_FAILED = statusFromBits(0xC000014D);
inline constexpr NTSTATUS STATUS_DEVICE_CONFIGURATION_ERROR = statusFromBits(0xC0000182);
inline constexpr NTSTATUS STATUS_NO_MATCH = statusFromBits(0xC0000272);
inline constexpr NTSTATUS STATUS_POWER_STATE_INVALID = statusFromBits(0xC00002D3);
inline constexpr NTSTATUS STATUS_FILE_TOO_LARGE = statusFromBits(0xC0000904);

constexpr std::uint32_t severity(NTSTATUS status) {
    return static_cast<std::uint32_t>(status) >> 30;
}

// Success and informational codes are non-negative.
constexpr bool succeeded(NTSTATUS status) { return status >= 0; }
constexpr bool isInformational(NTSTATUS status) { return severity(status) == 1; }
constexpr bool isWarning(NTSTATUS status) { return severity(status) == 2; }
constexpr bool isError(NTSTATUS status) { return severity(status) == 3; }

} // namespace kernel
