// The user-mode side of device I/O: a client process. It opens a device
// interface as a file by the interface's symbolic link, sends the file
// device control requests with buffered transfer, closes it, and keeps
// events for drivers to set. Files and events are known by 32-bit handles,
// as a 32-bit client's records carry them (4, 8, 12, ...; 0 is none).
//
// While a call of the process is in a driver, the process is the calling
// thread's current user process: the driver finds the client's event handles
// there (user_event.h) and maps memory into it (user_mapping.h).
//
// Ending the process (the destructor) closes every handle still open, so the
// driver gets the cleanup and close of each file; requests still pending complete when
// their driver completes them and then write nothing into the ended process;
// driver memory still mapped into it fails a check. Every call runs at
// passive level.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/io_status_block.h"
#include "platform/kernel/event.h"
#include "platform/kernel/status.h"
#include "platform/kernel/time.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace io {

class UserProcess {
public:
    UserProcess();
    ~UserProcess();
    UserProcess(const UserProcess&) = delete;
    UserProcess& operator=(const UserProcess&) = delete;

    // Opens the enabled device interface with that symbolic link (compared
    // without regard to case): the create request goes to the top of the
    // interface's device stack with a file object named "\" followed by the
    // reference string (empty without one), and the call waits for it to
    // complete. STATUS_OBJECT_NAME_NOT_FOUND when no enabled interface has
    // the link, STATUS_INSUFFICIENT_RESOURCES, or the driver's status for the
    // create; a handle only on success.
    kernel::NTSTATUS openDeviceInterface(std::u16string_view symbolicLink, std::uint32_t* file);

    // Sends the file a device control request. The code must use buffered
    // transfer (STATUS_NOT_SUPPORTED otherwise): the driver finds the input
    // at the start of a system buffer of the larger of the two lengths, zero
    // beyond the input, and leaves its output there. When the request
    // completes with success or a warning, the output is copied back: at
    // most outputLength bytes, and at most the byte count the driver gives.
    // ioStatus reads STATUS_PENDING until then and the request's status and
    // byte count after; a completion event (not 0) is cleared now and set
    // then. Returns the request's status when it completed during the call,
    // else STATUS_PENDING: output and ioStatus must then stay valid until it
    // completes or the process ends.
    // STATUS_INVALID_HANDLE for a handle that is not a file (or an event
    // that is not an event); STATUS_INVALID_PARAMETER without ioStatus or for
    // a length without its buffer; STATUS_INSUFFICIENT_RESOURCES.
    kernel::NTSTATUS deviceIoControl(std::uint32_t file, std::uint32_t controlCode,
                                     const void* input, std::uint32_t inputLength, void* output,
                                     std::uint32_t outputLength, IoStatusBlock* ioStatus,
                                     std::uint32_t completionEvent = 0);

    // STATUS_INSUFFICIENT_RESOURCES when the pool refuses the event.
    kernel::NTSTATUS createEvent(kernel::EventType type, bool signalled, std::uint32_t* event);

    // STATUS_SUCCESS once the event is signalled (a synchronization event is
    // cleared by it), STATUS_TIMEOUT, or STATUS_INVALID_HANDLE.
    kernel::NTSTATUS waitForEvent(std::uint32_t event, kernel::Timeout timeout);

    // Closes a file or event handle; STATUS_INVALID_HANDLE for any other
    // value. A file's cleanup request goes to its driver and the call waits
    // for it to complete, then the close request goes; neither can fail
    // (both were set aside when the file opened) and the cleanup's status
    // changes nothing. Requests still pending on the file keep the file
    // object until they complete.
    kernel::NTSTATUS closeHandle(std::uint32_t handle);

private:
    friend struct UserProcessAccess;
    struct State;
    std::unique_ptr<State> state_;
};

// The process whose call this thread is carrying out in a driver; null on
// any other thread and between calls.
UserProcess* currentUserProcess();

// Handles open now, in all processes.
std::size_t userHandlesOpen();

// File handles open now on the device (the device a file was opened on: the
// top of its stack), in all processes. The system refuses an orderly
// removal of a device while a process still holds one.
std::size_t userFilesOpenOn(const DeviceObject* device);

} // namespace io
