// The hub's side of selective suspend on the simulated bus's port. A driver
// sends the submit-idle-notification control with an IdleCallbackInfo as
// its input; when the port takes it, the request stays pending. Once the hub
// decides to suspend the port it calls the callback, once, at passive level
// from a work item of the platform, and the port is suspended when the
// callback returns. The request ends when its sender cancels it, when the
// port resumes (success) or when the device goes; until then a second
// request is refused with device busy. A port that does not support idle
// notification refuses every request with not supported.
//
// The bus decides when the request ends and completes it; this object keeps
// which request waits, calls back and counts. Thread-safe; the bus calls it
// under its own lock, and the callback runs with no lock held.
#pragma once

#include "platform/io/irp.h"
#include "platform/kernel/status.h"
#include "platform/kernel/work_item.h"
#include "platform/usb/bus_status.h"

#include <cstdint>
#include <mutex>

namespace usbsim {

class IdlePort {
public:
    IdlePort();
    // Waits for a callback in flight.
    ~IdlePort();
    IdlePort(const IdlePort&) = delete;
    IdlePort& operator=(const IdlePort&) = delete;

    // Supported unless switched off.
    void setSupported(bool supported);

    // A request arrives with the location it was sent with. STATUS_PENDING
    // when it is now the port's idle request; otherwise the status it is to
    // end with: not supported, device busy while another waits, invalid
    // parameter for an input shorter than the record or without a callback.
    kernel::NTSTATUS arrive(io::Irp* irp, const io::IoStackLocation& location);

    // The hub decides to suspend the port for this request: queues its
    // callback and returns true. False when the request is not the one
    // waiting, was cancelled, is resuming or was decided before.
    bool suspend(io::Irp* irp);

    // The port resumes: the waiting request, marked to end with success, or
    // null when none waits.
    io::Irp* resume();

    // The request ended, however: the port is active and takes a new one.
    void ended(io::Irp* irp);

    bool suspended() const;
    // Callbacks called.
    int callbacks() const;

private:
    enum class State { none, waiting, deciding, calling, suspended, resuming };
    static void callBack(void* context); // the work item's routine

    mutable std::mutex m_lock;
    kernel::WorkItem* m_item = nullptr;
    bool m_itemBusy = false; // queued or running
    bool m_itemUsed = false; // queued at least once
    bool m_supported = true;
    io::Irp* m_request = nullptr;
    std::uint64_t m_serial = 0; // of the waiting request; a request block may be used again
    usb::IdleCallbackInfo m_callback{};
    State m_state = State::none;
    int m_callbacks = 0;
};

} // namespace usbsim
