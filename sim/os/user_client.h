// A user-mode client of a driver: a process that opens the driver's device
// interfaces by class and reference string, as a program finds them in the
// list of its class, sends the file buffered device controls and closes it
// (cleanup, then close). Calls run on the caller's thread at passive level;
// a request the driver leaves pending gets the manual clock settled once.
#pragma once

#include "platform/io/io_status_block.h"
#include "platform/io/user_process.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"

#include <cstdint>
#include <list>
#include <span>
#include <string_view>
#include <vector>

namespace ossim {

struct ControlResult {
    kernel::NTSTATUS status;
    std::uintptr_t information;       // the driver's byte count, as given
    std::vector<std::uint8_t> output; // what came back, at most the output length
};

class UserClient {
public:
    // The clock must outlive the client.
    explicit UserClient(kernel::ManualClock& clock) : m_clock(clock) {}
    // Ends the process: the driver gets the cleanup and close of every file
    // still open.
    ~UserClient() = default;
    UserClient(const UserClient&) = delete;
    UserClient& operator=(const UserClient&) = delete;

    // Opens the enabled interface of the class whose reference string is the
    // one given (without regard to case; empty for an interface without
    // one). STATUS_OBJECT_NAME_NOT_FOUND when no enabled interface of the
    // class has it (none is registered, or it is disabled); otherwise as
    // io::UserProcess::openDeviceInterface.
    kernel::NTSTATUS open(const kernel::Guid& interfaceClass, std::u16string_view referenceString,
                          std::uint32_t* file);

    // A buffered device control with the input and room for outputLength
    // bytes. A request still pending once the clock has settled gives
    // STATUS_PENDING; its buffers stay with the client until it ends.
    ControlResult control(std::uint32_t file, std::uint32_t controlCode,
                          std::span<const std::uint8_t> input, std::uint32_t outputLength);

    // Cleanup, then close. STATUS_INVALID_HANDLE for a handle not open.
    kernel::NTSTATUS close(std::uint32_t file) { return m_process.closeHandle(file); }

    io::UserProcess& process() { return m_process; }

private:
    // Where a device control's outcome lands; kept while it is pending.
    struct Landing {
        io::IoStatusBlock ioStatus{};
        std::vector<std::uint8_t> output;
    };

    kernel::ManualClock& m_clock;
    std::list<Landing> m_pending; // declared before the process, so it outlives it
    io::UserProcess m_process;
};

} // namespace ossim
