// A small driver written the way a driver for this system is: an entry
// point that fills the dispatch table, an add-device routine that attaches a
// function device to the physical device and registers a private device
// interface, a start that passes the request down and waits for the bus
// before enabling the interface, user-mode files with a pool block each, two
// buffered device controls, power requests passed down, removal that takes
// everything apart. It keeps a journal of what reached it, in order.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/io_control_code.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

#include <cstdint>
#include <string>
#include <vector>

namespace toy {

inline constexpr kernel::Guid controlInterface =
    kernel::makeGuid("{B9F3E732-974D-45A9-908E-37D0DA08379F}");
inline constexpr char16_t referenceString[] = u"ToyControl";

// Output: the 8-byte identity {version, files open}; a shorter output is
// refused with STATUS_BUFFER_TOO_SMALL and the byte count 8.
inline constexpr std::uint32_t identifyCode =
    io::controlCode(0x22, 0x900, io::TransferMethod::Buffered, io::controlAccess::read);
inline constexpr std::uint32_t toyVersion = 0x0103;

// Input: a 32-bit byte count n. Output: n pattern bytes (patternByte);
// an output shorter than n gets as many as fit and STATUS_BUFFER_OVERFLOW.
inline constexpr std::uint32_t patternCode =
    io::controlCode(0x22, 0x901, io::TransferMethod::Buffered, io::controlAccess::read);
inline std::uint8_t patternByte(std::uint32_t index) {
    return static_cast<std::uint8_t>((index * 7 + 3) & 0xFF);
}

kernel::NTSTATUS driverEntry(io::DriverObject* driver, const kernel::UnicodeString* registryPath);

// What reached the driver since the last clear: "entry <path>", "add",
// "start <resources>", "stop", "query-stop", "surprise", "remove", "power D<n>",
// "create <name>", "cleanup", "close", "unload" and the like.
std::vector<std::string> journal();
void clearJournal();

// Refuse query-stop and query-remove requests while a user file is open.
void refuseQueriesWhileOpen(bool on);

} // namespace toy
